#include <Quorvane/Core/LogSink.h>

namespace Quorvane {

LogSink::~LogSink() = default;

}  // namespace Quorvane
