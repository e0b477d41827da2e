// Boost.Asio's implementation, compiled once for everything that links the
// transport (BOOST_ASIO_SEPARATE_COMPILATION). It is third-party code: its
// warnings are not ours to fix, so this one file is built without them.
#include <boost/asio/impl/src.hpp>
