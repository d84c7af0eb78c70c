// The report and the fatal stops as the end-to-end tests of every platform read them.
#pragma once

#include <regex>
#include <string>

namespace test {

inline const std::string PASS = "    通过\n";
inline const std::string FAIL = "    失败：超出预算\n";

// The start of a fatal stop's diagnostic, wherever in the sources it was made.
inline const std::string STOP_PLACE = "\nthread 'main' stopped at src/[^:\n]+:[0-9]+:[0-9]+:\n";

// Whether `out` is `before`, then the report as the tool must print it: the lines typed out,
// the figures any whole numbers, the verdicts given (with no `idle`, the run stopped after the
// cold start's), and the closing line when both pass.
inline bool is_report(const std::string& out, const std::string& before, const std::string& cold,
                      const std::string& idle = "") {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string report = std::regex_replace(before, special, R"(\$&)") +
                         "\\[1/2\\] 冷启动中位数（10 次）：[0-9]+ ms （预算 < 200 ms）\n" + cold;
    if (!idle.empty()) {
        report += "\\[2/2\\] 5 个 PTY session 空闲 RSS：[0-9]+ MB （预算 < 80 MB）\n" + idle +
                  (cold == PASS && idle == PASS ? "\n全部通过 ✅\n" : "");
    }
    return std::regex_match(out, std::regex(report));
}

}  // namespace test
