// The service's defences against probing and lock-out, without a socket: the
// work of a refused login, failed logins per address in a sliding window, and
// connections per address.

#include "service/AddressLimits.h"
#include "service/LaundryStore.h"
#include "service/PasswordHash.h"

#include <QtTest>

using namespace service;
using namespace std::chrono_literals;

class TestServiceLimits : public QObject
{
    Q_OBJECT

private slots:
    void unknownCustomerCostsWhatAWrongPasswordCosts();
    void loginThrottleSlidingWindow();
    void loginThrottleKeepsAddressesApart();
    void connectionsPerAddress();
};

void TestServiceLimits::unknownCustomerCostsWhatAWrongPasswordCosts()
{
    LaundryStore store(":memory:", SqliteDatabase::Mode::Create);
    store.createSchema();
    store.setCustomer("1001", hashPassword("Waesche2026")); // the cost every stored password has
    VerifiedCredentials verified;

    auto workOf = [&](const char *customer, const char *password) {
        const std::uint64_t before = pbkdf2IterationsRun();
        const bool accepted = store.checkCredentials(customer, password, verified);
        return std::pair(accepted, pbkdf2IterationsRun() - before);
    };
    const auto wrongPassword = workOf("1001", "falsch");
    const auto unknownCustomer = workOf("9999", "falsch");
    QVERIFY(!wrongPassword.first);
    QVERIFY(!unknownCustomer.first);
    QCOMPARE(wrongPassword.second, std::uint64_t(defaultPbkdf2Iterations));
    QCOMPARE(unknownCustomer.second, wrongPassword.second);
    QVERIFY(workOf("1001", "Waesche2026").first);
}

void TestServiceLimits::loginThrottleSlidingWindow()
{
    LoginThrottle throttle(3, 60s);
    const auto t0 = LoginThrottle::Clock::time_point() + 1000s;
    const std::string a = "192.0.2.7";

    QVERIFY(!throttle.recordFailure(a, t0));
    QVERIFY(!throttle.recordFailure(a, t0 + 10s));
    QVERIFY(!throttle.refusedFor(a, t0 + 10s)); // two failures: still free to try
    QVERIFY(throttle.recordFailure(a, t0 + 20s)); // the third starts the refusal
    QCOMPARE(throttle.refusedFor(a, t0 + 20s), std::optional(40s)); // until the first leaves the window
    QCOMPARE(throttle.refusedFor(a, t0 + 59s + 500ms), std::optional(1s)); // rounded up
    QVERIFY(!throttle.refusedFor(a, t0 + 60s));

    // One more failure puts it back at three within the window.
    QVERIFY(throttle.recordFailure(a, t0 + 61s));
    QCOMPARE(throttle.refusedFor(a, t0 + 61s), std::optional(9s)); // the second failure ages out at t0 + 70 s
    // Failures spread wider than the window never refuse.
    LoginThrottle slow(3, 60s);
    for (int i = 0; i < 10; ++i) {
        QVERIFY(!slow.recordFailure(a, t0 + i * 31s));
        QVERIFY(!slow.refusedFor(a, t0 + i * 31s));
    }
}

void TestServiceLimits::loginThrottleKeepsAddressesApart()
{
    LoginThrottle throttle(2, 60s);
    const auto t0 = LoginThrottle::Clock::time_point() + 1000s;
    throttle.recordFailure("10.0.0.1", t0);
    QVERIFY(throttle.recordFailure("10.0.0.1", t0));
    QVERIFY(throttle.refusedFor("10.0.0.1", t0));
    QVERIFY(!throttle.refusedFor("10.0.0.2", t0));
    QVERIFY(!throttle.recordFailure("10.0.0.2", t0));
    QVERIFY(!throttle.refusedFor("::1", t0));
}

void TestServiceLimits::connectionsPerAddress()
{
    using A = ConnectionsPerAddress::Admission;
    ConnectionsPerAddress limits(2);
    QCOMPARE(limits.admit("10.0.0.1"), A::Admitted);
    QCOMPARE(limits.admit("10.0.0.1"), A::Admitted);
    QCOMPARE(limits.admit("10.0.0.1"), A::RefusedFirst); // worth one log line
    QCOMPARE(limits.admit("10.0.0.1"), A::Refused);      // not one per attempt
    QCOMPARE(limits.admit("10.0.0.2"), A::Admitted);
    limits.release("10.0.0.1");
    QCOMPARE(limits.admit("10.0.0.1"), A::Admitted);
    QCOMPARE(limits.admit("10.0.0.1"), A::RefusedFirst); // a new episode is logged again
    limits.release("10.0.0.1");
    limits.release("10.0.0.1");
    QCOMPARE(limits.admit("10.0.0.1"), A::Admitted);
    QCOMPARE(limits.admit("10.0.0.1"), A::Admitted);
}

QTEST_GUILESS_MAIN(TestServiceLimits)
#include "tst_service_limits.moc"
