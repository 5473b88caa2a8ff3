// JSON-RPC 2.0 as the protocol uses it: the error codes, the shapes of
// responses and notifications, and a dispatch table from method names to
// handlers. Owns Dispatcher and RequestError; the only JSON it writes is the
// envelope of each message.
#pragma once

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

namespace qvek::lsp {

using json = nlohmann::json;

// The error codes the server answers with.
enum ErrorCode : int {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    InternalError = -32603,
    ServerNotInitialized = -32002,
    RequestFailed = -32803,
};

// Thrown by a handler to answer its request with an error.
struct RequestError {
    int code;
    std::string message;
};

using RequestHandler = std::function<json(const json& params)>;
using NotificationHandler = std::function<void(const json& params)>;
// Where whole message bodies go, to be framed.
using Sink = std::function<void(const std::string& body)>;

/// A uinteger of the parameters (a line, a character); throws InvalidParams for anything else, so that
/// no negative or larger number wraps to another line.
uint32_t uintegerOf(const json& value);

/// The body of a successful response.
std::string responseBody(const json& id, const json& result);
/// The body of an error response (id null when the request's id is unknown).
std::string errorBody(const json& id, int code, const std::string& message);
/// The body of a notification from the server.
std::string notificationBody(const std::string& method, const json& params);

// Routes each incoming message to its handler and answers requests.
class Dispatcher {
  public:
    explicit Dispatcher(Sink sink) : sink_(std::move(sink)) {}
    void onRequest(const std::string& method, RequestHandler handler) { requests_[method] = std::move(handler); }
    void onNotification(const std::string& method, NotificationHandler handler) {
        notifications_[method] = std::move(handler);
    }
    /// Handles one message body: parses it, calls its handler, answers a request; false when it is no JSON.
    bool dispatch(const std::string& body);
    /// Answers a header block that gave no body.
    void badHeader();
    /// Sends a notification.
    void notify(const std::string& method, const json& params) { sink_(notificationBody(method, params)); }
    /// Decides, before a handler runs, whether a method may run now; a false answer has sent the reply.
    std::function<bool(const std::string& method, const json& id, bool isRequest)> gate;

  private:
    void dispatchOne(const json& message);
    Sink sink_;
    std::map<std::string, RequestHandler> requests_;
    std::map<std::string, NotificationHandler> notifications_;
};

}  // namespace qvek::lsp
