#include "session/session_id.hpp"

#include <span>

#include <boost/uuid/uuid_hash.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/random.hpp"

namespace murv::session {

SessionId SessionId::generate() {
    boost::uuids::uuid random;
    if (const auto filled = os::random_bytes(std::as_writable_bytes(std::span(random.data)));
        !filled) {
        fatal(
            fmt::format("could not retrieve random bytes for uuid: {}", filled.error().describe()));
    }
    return version_4(random);
}

SessionId SessionId::version_4(boost::uuids::uuid random) {
    random.data[6] = static_cast<std::uint8_t>((random.data[6] & 0x0f) | 0x40);  // version 4
    random.data[8] = static_cast<std::uint8_t>((random.data[8] & 0x3f) | 0x80);  // RFC 4122
    return SessionId(random);
}

std::string SessionId::to_string() const {
    return boost::uuids::to_string(value_);
}

}  // namespace murv::session

std::size_t std::hash<murv::session::SessionId>::operator()(
    const murv::session::SessionId& id) const noexcept {
    return boost::uuids::hash_value(id.value());
}
