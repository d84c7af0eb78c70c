// The random identifier of a session.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <boost/uuid/uuid.hpp>

namespace murv::session {

class SessionId {
  public:
    // A version-4 UUID from the operating system's random source. A failure of that source
    // is a fatal stop.
    static SessionId generate();

    // The version-4 UUID of 16 random bytes: its version and variant fields set, the other
    // 122 bits kept.
    static SessionId version_4(boost::uuids::uuid random);

    explicit SessionId(const boost::uuids::uuid& value) : value_(value) {}

    // 36 characters: lower-case hex in groups of 8-4-4-4-12, joined by hyphens.
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
