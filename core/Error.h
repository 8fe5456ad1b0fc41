// The engine's one error type: a failure that carries its message to the place that reports it (a
// message box or an "ERROR:" line). It never crosses the platform seam, a window procedure or a
// worker thread. ReportFailure turns whatever escaped an engine step into that message.
#pragma once

#include <exception>
#include <string>
#include <utility>

#include "platform/utf.h"

namespace txr {

class Error {
public:
    explicit Error(std::u16string message) : message_(std::move(message)) {}
    const std::u16string& Message() const { return message_; }

private:
    std::u16string message_;
};

// Runs body; an Error or a standard exception that escapes it is handed to report with its
// message, and the result is then `failure`. Anything else propagates.
template <typename Body, typename Report>
auto ReportFailure(Body&& body, Report&& report, decltype(body()) failure = {}) -> decltype(body())
{
    try {
        return body();
    } catch (const Error& e) {
        report(e.Message());
    } catch (const std::exception& e) {
        report(txt::from_utf8(e.what()));
    }
    return failure;
}

}  // namespace txr
