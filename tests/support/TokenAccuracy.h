#pragma once
// How much of an expected reading a recognised text got right, token by
// token: 1 - edit distance / tokens expected, nothing normalised.

#include <algorithm>
#include <string>
#include <vector>

namespace tessarin::testing {

inline double tokenEditAccuracy(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    std::vector<size_t> previous(actual.size() + 1), current(actual.size() + 1);
    for (size_t j = 0; j <= actual.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= expected.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= actual.size(); ++j) {
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                                   previous[j - 1] + (expected[i - 1] != actual[j - 1])});
        }
        std::swap(previous, current);
    }
    const double errors = double(previous[actual.size()]);
    return std::max(0.0, 1.0 - errors / double(std::max<size_t>(1, expected.size())));
}

}  // namespace tessarin::testing
