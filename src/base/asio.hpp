// The pieces of Boost.Asio that the project's coroutines use, under a short name.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>

namespace murv {

namespace asio = boost::asio;

}  // namespace murv
