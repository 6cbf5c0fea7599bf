#pragma once

#include "service/LaundryStore.h"

#include <chrono>
#include <string>
#include <vector>

namespace service {

struct DemoSizes
{
    int customers = 1;
    int wearers = 120;
    int items = 2000;
    int washes = 15000;
};

struct DemoCustomer
{
    std::string number;
    std::string password;
};

inline constexpr const char *demoPassword = "Waesche2026";

// Fills the store with realistic German demo data for customers "1001",
// "1002", ...: wearers with umlaut and double-barrelled names and their living
// areas, laundry items "S000001"... of a fixed article range, and wash
// processes numbered in the order of their receipt. The draws come from a
// fixed seed, so the same sizes and the same `today` give the same data.
// Dates lie between 01.01.2000 and `today`. Runs in one transaction.
std::vector<DemoCustomer> fillDemoData(LaundryStore &store, const DemoSizes &sizes, std::chrono::sys_days today,
                                       int pbkdf2Iterations = defaultPbkdf2Iterations);

} // namespace service
