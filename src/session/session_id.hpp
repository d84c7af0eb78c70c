// The random identifier of a session.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <boost/uuid/uuid.hpp>

namespace murv::session {

class SessionId {
  public:
    // From the system's random source, whose failure is a fatal stop.
    static SessionId generate();

    // The version-4 UUID of 16 random bytes: version and variant set, the other 122 bits kept.
    // Public so that its test can feed it fixed bytes.
    static SessionId version_4(boost::uuids::uuid random);

    explicit SessionId(const boost::uuids::uuid& value) : value_(value) {}

    std::string to_string() const;

    const boost::uuids::uuid& value() const { return value_; }

    friend bool operator==(const SessionId&, const SessionId&) = default;

  private:
    boost::uuids::uuid value_;
};

}  // namespace murv::session

template <>
struct std::hash<murv::session::SessionId> {
    std::size_t operator()(const murv::session::SessionId& id) const noexcept;
};
