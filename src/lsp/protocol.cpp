#include "lsp/protocol.h"

namespace qvek::lsp {

namespace {

// Bytes that are no UTF-8 in the editor's text or in file names are replaced
// rather than refused, so every answer can be written.
std::string dumpJson(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

bool validId(const json& id) { return id.is_string() || id.is_number_integer() || id.is_number_unsigned(); }

}  // namespace

uint32_t uintegerOf(const json& value) {
    if (value.is_number_unsigned() && value.get<uint64_t>() <= UINT32_MAX) return value.get<uint32_t>();
    if (value.is_number_integer() && value.get<int64_t>() >= 0 && value.get<int64_t>() <= UINT32_MAX)
        return static_cast<uint32_t>(value.get<int64_t>());
    throw RequestError{InvalidParams, "not a uinteger: " + value.dump()};
}

std::string responseBody(const json& id, const json& result) {
    return dumpJson(json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
}

std::string errorBody(const json& id, int code, const std::string& message) {
    return dumpJson(json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}});
}

std::string notificationBody(const std::string& method, const json& params) {
    return dumpJson(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
}

void Dispatcher::badHeader() { sink_(errorBody(nullptr, ParseError, "header without a valid Content-Length")); }

bool Dispatcher::dispatch(const std::string& body) {
    json message = json::parse(body, nullptr, false);
    if (message.is_discarded()) {
        sink_(errorBody(nullptr, ParseError, "the message is not JSON"));
        return false;
    }
    // A batch is an array of messages, each handled on its own.
    if (message.is_array() && !message.empty()) {
        for (const json& m : message) dispatchOne(m);
        return true;
    }
    dispatchOne(message);
    return true;
}

void Dispatcher::dispatchOne(const json& message) {
    if (!message.is_object()) {
        sink_(errorBody(nullptr, InvalidRequest, "a message is a JSON object"));
        return;
    }
    const auto method = message.find("method");
    const auto id = message.find("id");
    const bool isRequest = id != message.end();
    if (isRequest && !validId(*id)) {
        sink_(errorBody(nullptr, InvalidRequest, "the id is neither a number nor a string"));
        return;
    }
    const json replyId = isRequest ? *id : json(nullptr);
    if (method == message.end() || !method->is_string()) {
        // A response to a request of ours: the server sends none it waits for.
        if (isRequest && (message.contains("result") || message.contains("error"))) return;
        if (isRequest) sink_(errorBody(replyId, InvalidRequest, "the message names no method"));
        return;
    }
    const std::string name = method->get<std::string>();
    // By reference: the params of a didOpen or a whole-text change hold the document.
    static const json kNoParams = json::object();
    const auto given = message.find("params");
    const json& params = given != message.end() ? *given : kNoParams;
    if (gate && !gate(name, replyId, isRequest)) return;
    if (!isRequest) {
        // Unknown notifications, $/ ones included, are ignored.
        const auto handler = notifications_.find(name);
        if (handler == notifications_.end()) return;
        try {
            handler->second(params);
        } catch (const json::exception&) {
        } catch (const RequestError&) {
        } catch (const std::exception&) {
        }  // a notification has no answer, whatever went wrong
        return;
    }
    const auto handler = requests_.find(name);
    if (handler == requests_.end()) {
        sink_(errorBody(replyId, MethodNotFound, "unknown method " + name));
        return;
    }
    try {
        sink_(responseBody(replyId, handler->second(params)));
    } catch (const RequestError& e) {
        sink_(errorBody(replyId, e.code, e.message));
    } catch (const json::exception& e) {
        sink_(errorBody(replyId, InvalidParams, std::string("invalid parameters: ") + e.what()));
    } catch (const std::exception& e) {
        sink_(errorBody(replyId, InternalError, e.what()));
    }
}

}  // namespace qvek::lsp
