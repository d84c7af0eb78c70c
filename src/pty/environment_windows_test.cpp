#include <deque>
#include <optional>
#include <string>
#include <utility>

#include <windows.h>

#include <gtest/gtest.h>

#include "pty/pty.hpp"
#include "terminal.hpp"
#include "test_support.hpp"

namespace murv::pty {
namespace {

struct Key {
    HKEY root;
    std::wstring path;
};

struct Stored {
    Key key;
    const wchar_t* name;
    std::wstring data;
    DWORD type = REG_SZ;
};

// What the machine, the user (as `setx` would) and the logon stored for new sessions reaches the
// environment a command starts with, and what its program sees, as Windows applies it.
TEST(StoredVariables, ReachANewSessionAsWindowsAppliesThem) {
    DWORD session = 0;
    ASSERT_TRUE(::ProcessIdToSessionId(::GetCurrentProcessId(), &session));
    const Key machine{HKEY_LOCAL_MACHINE,
                      L"System\\CurrentControlSet\\Control\\Session Manager\\Environment"};
    const Key user{HKEY_CURRENT_USER, L"Environment"};
    const Key logon{HKEY_CURRENT_USER, L"Volatile Environment"};
    const Key this_session{HKEY_CURRENT_USER, logon.path + L"\\" + std::to_wstring(session)};
    const std::pair<const char*, const char*> inherited[] = {
        {"PA_T_A", "process"}, {"USERNAME", "me"},    {"PA_T_ROOT", "C:\\r"},
        {"LibPath", "C:\\p"},  {"PA_T_KEPT", "kept"}, {"PA_T_EMPTY", ""},
    };
    const Stored stored[] = {
        {machine, L"PA_T_A", L"machine"},  // over the process's
        {machine, L"PA_T_B", L"machine"},
        {machine, L"USERNAME", L"SYSTEM"},  // the system account's: not taken
        {machine, L"PA_T_EARLY", L"%PA_T_B%-%PA_T_LATE%", REG_EXPAND_SZ},  // the plain ones first
        {machine, L"PA_T_LATE", L"late"},
        {machine, L"Path", L"%PA_T_ROOT%\\m;"},  // a list: expanded though plain
        {machine, L"Os2LibPath", L"C:\\o"},
        {user, L"PA_T_B", L"user"},  // over the machine's
        {user, L"PA_T_C", L"user"},
        {user, L"PA_T_Y", L"%PA_T_B%"},  // plain: as written
        {user, L"PA_T_E1", L"%PA_T_ROOT%\\s;%PA_T_EMPTY%x", REG_EXPAND_SZ},
        {user, L"PA_T_E2", L"%PA_T_UNKNOWN%;100%;%%;50%", REG_EXPAND_SZ},  // left as written
        {user, L"PA_T_E3", L"%PA_T_UNKNOWN%PA_T_ROOT%", REG_EXPAND_SZ},    // goes on after "%"
        {user, L"PA_T_NUL", std::wstring(L"one\0two", 7)},                 // up to the first NUL
        {user, L"PATH", L"%PA_T_ROOT%\\u"},  // joined to the machine's, with one ';'
        {user, L"Os2LibPath", L"C:\\uo"},
        {user, L"LibPath", L";C:\\u"},  // the machine has none: joined to the process's
        {user, L"PA_T_KEPT", L""},      // empty: not taken
        {user, L"PA_T_F=B", L"x"},      // names that are no variable's
        {user, L"", L"x"},
        {logon, L"PA_T_C", L"logon"},  // over the user's
        {logon, L"PA_T_D", L"logon"},
        {this_session, L"PA_T_D", L"session"},  // over the logon's
    };
    const std::pair<std::string, std::optional<std::string>> expected[] = {
        {"PA_T_A", "machine"},
        {"PA_T_B", "user"},
        {"PA_T_C", "logon"},
        {"PA_T_D", "session"},
        {"USERNAME", "me"},
        {"PA_T_EARLY", "machine-late"},
        {"PA_T_Y", "%PA_T_B%"},
        {"PA_T_NUL", "one"},
        {"Path", "C:\\r\\m;C:\\r\\u"},
        {"Os2LibPath", "C:\\o;C:\\uo"},
        {"LibPath", "C:\\p;C:\\u"},
        {"PA_T_KEPT", "kept"},
        {"PA_T_E1", "C:\\r\\s;x"},
        {"PA_T_E2", "%PA_T_UNKNOWN%;100%;%%;50%"},
        {"PA_T_E3", "%PA_T_UNKNOWN%PA_T_ROOT%"},
        {"PA_T_F", std::nullopt},  // not "B=x"
    };
    test::ScratchRegistry registry;
    for (const Stored& value : stored)
        registry.set(value.key.root, value.key.path, value.name, value.data, value.type);
    std::deque<test::ScopedEnv> process;
    for (const auto& [name, value] : inherited)
        process.emplace_back(name, value);

    const Environment environment = ShellCommand(PROBE_PATH).environment();
    for (const auto& [name, value] : expected) {
        const auto found = environment.find(name);
        EXPECT_EQ(found == environment.end() ? std::nullopt : std::optional(found->second), value)
            << name;
    }
    for (const auto& [name, value] : environment)
        EXPECT_TRUE(!name.empty() && name.find('=') == std::string::npos) << name << "=" << value;

    std::string names;
    for (const auto& [name, value] : expected)
        names += name + ",";
    process.emplace_back("PROBE_SHOW", names);
    test::Terminal terminal;
    ASSERT_TRUE(terminal.spawn(ShellCommand(PROBE_PATH)));
    ASSERT_TRUE(terminal.shows("done")) << terminal.output();
    for (const auto& [name, value] : expected) {
        const std::string line = value ? name + "=" + *value : name + " unset";
        EXPECT_TRUE(test::shows_line(terminal.output(), line)) << line << "\n" << terminal.output();
    }
}

}  // namespace
}  // namespace murv::pty
