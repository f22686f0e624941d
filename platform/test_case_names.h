#pragma once

#include <ostream>
#include <string_view>

namespace test_cases {

// Prints a row of a parametrised test's table by its `name` (or the `word` of a table of
// words), so that test listings, CTest and failure messages show "GetParam() =
// RingExactlyPlain" rather than the row's bytes. The test framework finds it through
// `using test_cases::PrintTo;` in the namespace of the row's type.
template <typename Row>
  requires requires(const Row& row) { std::string_view(row.name); } ||
           requires(const Row& row) { std::string_view(row.word); }
void PrintTo(const Row& row, std::ostream* os) {
  if constexpr (requires { std::string_view(row.name); }) {
    *os << row.name;
  } else {
    *os << row.word;
  }
}

}  // namespace test_cases
