#include <algorithm>
#include <climits>

#include "os/random.hpp"
#include "os/system_error.hpp"
#include "os/win32.hpp"

namespace murv::os {

Result<void> random_bytes(std::span<std::byte> bytes) {
    // Neither opens a provider; ProcessPrng cannot fail, and Wine 8 has only RtlGenRandom.
    static const auto process_prng = win32::system_function<BOOL(WINAPI*)(PBYTE, SIZE_T)>(
        L"bcryptprimitives.dll", "ProcessPrng");
    static const auto rtl_gen_random = win32::system_function<BOOLEAN(WINAPI*)(PVOID, ULONG)>(
        L"advapi32.dll", "SystemFunction036");
    if (process_prng != nullptr) {
        process_prng(reinterpret_cast<PBYTE>(bytes.data()), bytes.size());
        return {};
    }
    for (ULONG length = 0; !bytes.empty(); bytes = bytes.subspan(length)) {
        length = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), ULONG_MAX));
        ::SetLastError(ERROR_SUCCESS);  // which it does not promise to set when it fails
        if (rtl_gen_random == nullptr || !rtl_gen_random(bytes.data(), length)) {
            const int code = last_error_code();
            return std::unexpected(code != 0 ? system_error(code) : Error("RtlGenRandom failed"));
        }
    }
    return {};
}

}  // namespace murv::os
