#include "session/session_id.hpp"

#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_hash.hpp>
#include <boost/uuid/uuid_io.hpp>
#include <fmt/format.h>

#include "base/fatal.hpp"
#include "os/system_error.hpp"

namespace murv::session {

SessionId SessionId::generate() {
    try {
        // Draws straight from the operating system's source; sets version 4 and the variant.
        boost::uuids::random_generator generator;
        return SessionId(generator());
    } catch (const boost::uuids::entropy_error& error) {
        fatal(fmt::format("could not retrieve random bytes for uuid: {}: {}", error.what(),
                          os::error_text(error.errcode())));
    }
}

std::string SessionId::to_string() const {
    return boost::uuids::to_string(value_);
}

}  // namespace murv::session

std::size_t std::hash<murv::session::SessionId>::operator()(
    const murv::session::SessionId& id) const noexcept {
    return boost::uuids::hash_value(id.value());
}
