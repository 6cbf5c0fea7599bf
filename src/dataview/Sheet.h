#pragma once

// The three sheets of the data window, valued as their page index in the page control.
enum class Sheet { Bewohner = 0, Waesche = 1, Wasch = 2 };

constexpr int pageIndexOf(Sheet sheet)
{
    return static_cast<int>(sheet);
}
