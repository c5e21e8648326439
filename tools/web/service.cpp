// SPDX-License-Identifier: MIT
// Requests, their checks and answers; the WebSocket clients and the pushed messages.
#include "service.h"

#include "profile_csv.h"

#include <civetweb.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <sstream>

namespace corvexweb {

namespace {

using nlohmann::json;

// The largest request body read: a profile of the largest size the profile reader takes.
constexpr std::size_t kLargestBody = corvexlink::profilecsv::kLargestFile + 1;
constexpr std::size_t kLargestJson = 64 * 1024;
// Messages waiting for one WebSocket client beyond which the newest are dropped.
constexpr int kMaxPending = 256;
// The frames of the trace GET .../trace gives at most.
constexpr std::size_t kTraceMax = 500;
// The WebSocket subprotocol of this API; a browser, which cannot set headers on the
// upgrade, offers its token as a second subprotocol "bearer.TOKEN".
constexpr const char *kSubprotocol = "corvexlink.v1";
constexpr const char *kBearerProtocol = "bearer.";
// Step modes a profile may be played in (the FIFO bit is added).
constexpr int kStepModes[] = {36, 34, 33, 8};

// A refusal of the service's own, before anything reached the line.
LineError refused(int status, const std::string &message) { return LineError(status, 0, message); }

json errorJson(int number, const std::string &message) {
    return {{"error", {{"number", number}, {"message", message}}}};
}

const char *statusText(int status) {
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 413: return "Payload Too Large";
    case 429: return "Too Many Requests";
    default: return "Internal Server Error";
    }
}

using Headers = std::vector<std::pair<std::string, std::string>>;

// Sends a whole answer. civetweb formats the Date header with gmtime(), which is not
// thread-safe, so the headers of all answers are made one at a time.
int respond(mg_connection *conn, int status, const char *type, const std::string &body,
            const Headers &headers = {}) {
    static std::mutex headerMutex;
    {
        std::lock_guard<std::mutex> lock(headerMutex);
        mg_response_header_start(conn, status);
        mg_response_header_add(conn, "Content-Type", type, -1);
        mg_response_header_add(conn, "Content-Length", std::to_string(body.size()).c_str(), -1);
        for (const auto &[name, value] : headers)
            mg_response_header_add(conn, name.c_str(), value.c_str(), -1);
        mg_response_header_send(conn);
    }
    mg_write(conn, body.data(), body.size());
    return status;
}

int reply(mg_connection *conn, int status, const json &body, Headers headers = {}) {
    headers.push_back({"Cache-Control", "no-store"});
    return respond(conn, status, "application/json", body.dump(), headers);
}

int replyError(mg_connection *conn, const LineError &error, const Headers &headers = {}) {
    (void)statusText;
    return reply(conn, error.status(), errorJson(error.number(), error.what()), headers);
}

std::vector<std::string> splitPath(const std::string &uri) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : uri) {
        if (c == '/') {
            if (!part.empty()) parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(part);
    return parts;
}

// A station address as a path or message gives it: 0 to 15, decimal digits only.
std::optional<int> parseAddress(const std::string &text) {
    if (text.empty() || text.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < CORVEXLINK_ADDRESS_MIN || value > CORVEXLINK_ADDRESS_MAX) return std::nullopt;
    return value;
}

// The fields of a JSON object body, checked one by one; unknown fields are refused so a
// misspelt one does not pass unnoticed.
class Fields {
public:
    Fields(const json &body, std::initializer_list<const char *> known) : body_(body) {
        if (!body_.is_object()) throw refused(400, "The body must be a JSON object");
        for (const auto &[key, value] : body_.items()) {
            (void)value;
            if (std::find_if(known.begin(), known.end(), [&](const char *k) { return key == k; }) ==
                known.end())
                throw refused(400, "Unknown field '" + key + "'");
        }
    }
    bool has(const char *key) const { return body_.contains(key); }
    // A whole number from min to max; a fraction, a string or a number beyond the range is
    // refused.
    std::optional<long long> integer(const char *key, long long min, long long max,
                                     bool required = false) const {
        if (!body_.contains(key)) {
            if (required) throw refused(400, std::string("Missing field '") + key + "'");
            return std::nullopt;
        }
        const json &value = body_.at(key);
        const std::string range =
            " must be a whole number from " + std::to_string(min) + " to " + std::to_string(max);
        if (value.is_number_integer()) {
            const long long v =
                value.is_number_unsigned()
                    ? (value.get<unsigned long long>() > static_cast<unsigned long long>(max)
                           ? max + 1
                           : static_cast<long long>(value.get<unsigned long long>()))
                    : value.get<long long>();
            if (v >= min && v <= max) return v;
        }
        throw refused(400, std::string("'") + key + "'" + range);
    }
    std::optional<std::string> text(const char *key) const {
        if (!body_.contains(key)) return std::nullopt;
        if (!body_.at(key).is_string())
            throw refused(400, std::string("'") + key + "' must be a text");
        return body_.at(key).get<std::string>();
    }

private:
    const json &body_;
};

int directionFrom(const Fields &fields) {
    const auto text = fields.text("direction");
    if (!text) throw refused(400, "Missing field 'direction' (\"cw\" or \"ccw\")");
    if (*text == "cw" || *text == "+") return 1;
    if (*text == "ccw" || *text == "-") return -1;
    throw refused(400, "'direction' must be \"cw\" or \"ccw\"");
}

std::string nowText() { return isoTime(std::chrono::system_clock::now()); }

// civetweb's callbacks, to the service.
int onRequest(mg_connection *conn, void *service) {
    return static_cast<Service *>(service)->handleRequest(conn);
}
int onWsConnect(const mg_connection *conn, void *service) {
    return static_cast<Service *>(service)->wsConnect(conn);
}
void onWsReady(mg_connection *conn, void *service) {
    static_cast<Service *>(service)->wsReady(conn);
}
int onWsData(mg_connection *conn, int bits, char *data, size_t length, void *service) {
    return static_cast<Service *>(service)->wsData(conn, bits, data, length);
}
void onWsClose(const mg_connection *conn, void *service) {
    static_cast<Service *>(service)->wsClose(conn);
}
int onLog(const mg_connection *conn, const char *message) {
    const mg_request_info *info = mg_get_request_info(conn);
    if (info && info->user_data)
        static_cast<Service *>(info->user_data)->log(std::string("civetweb: ") + message);
    return 1;
}

}  // namespace

// ---- sign-in throttle -------------------------------------------------------------------

double SignInThrottle::wait(const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = records_.find(address);
    if (found == records_.end()) return 0;
    const auto left = found->second.until - std::chrono::steady_clock::now();
    return left.count() > 0 ? std::chrono::duration<double>(left).count() : 0;
}

void SignInThrottle::failed(const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    // Bounded: an address flood forgets the oldest records first.
    if (records_.size() > 10000) records_.clear();
    Record &record = records_[address];
    record.failures = std::min(record.failures + 1, 16);
    const double seconds = std::min(30.0, 0.5 * static_cast<double>(1 << (record.failures - 1)));
    record.until = std::chrono::steady_clock::now() +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                       std::chrono::duration<double>(seconds));
}

void SignInThrottle::succeeded(const std::string &address) {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.erase(address);
}

// ---- the service --------------------------------------------------------------------------

struct Service::Request {
    std::string method;
    std::string uri;
    std::string query;
    std::string address;  // the client's
    std::optional<Identity> who;
    std::string body;  // of a command, for the log
};

struct Service::Client {
    std::uint64_t id = 0;
    Identity who;
    std::string address;
    std::mutex mutex;  // conn and closed
    mg_connection *conn = nullptr;
    bool closed = false;
    int pending = 0;  // messages queued for it (outMutex_)
    bool dropping = false;
    // Under clientsMutex_:
    std::set<std::pair<ServedLine *, int>> motors;
    std::set<ServedLine *> traced;
};

Service::Service(ServiceOptions options, TokenStore tokens)
    : options_(std::move(options)), tokens_(std::move(tokens)) {
    for (const LineSettings &settings : options_.lines) {
        ServedLine::Listeners listeners;
        listeners.motor = [this](const ServedLine &line, int address, const MotorState &state) {
            broadcastMotor(line, address, state);
        };
        listeners.line = [this](const ServedLine &line) { broadcastLine(line); };
        listeners.trace = [this](const ServedLine &line, const json &event) {
            broadcastTrace(line, event);
        };
        listeners.log = [this](const std::string &text) { log(text); };
        lines_.push_back(std::make_unique<ServedLine>(settings, listeners));
    }
}

Service::~Service() { stop(); }

void Service::log(const std::string &text) {
    // One line an entry, whatever a client put in its request.
    std::string line = text;
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    std::lock_guard<std::mutex> lock(logMutex_);
    std::cerr << nowText() << " " << line << std::endl;
}

void Service::start() {
    mg_init_library(0);
    sender_ = std::thread([this] { senderMain(); });
    for (auto &line : lines_) line->start();

    const std::string threads = std::to_string(options_.threads);
    const char *settings[] = {"listening_ports",
                              options_.listen.c_str(),
                              "num_threads",
                              threads.c_str(),
                              "enable_keep_alive",
                              "yes",
                              "request_timeout_ms",
                              "10000",
                              nullptr};
    mg_callbacks callbacks{};
    callbacks.log_message = onLog;
    context_ = mg_start(&callbacks, this, settings);
    if (!context_) throw std::runtime_error("cannot listen on " + options_.listen);
    mg_set_request_handler(context_, "/", onRequest, this);
    static const char *protocols[] = {kSubprotocol};
    static mg_websocket_subprotocols subprotocols{1, protocols};
    mg_set_websocket_handler_with_subprotocols(context_, "/api/v1/ws", &subprotocols, onWsConnect,
                                               onWsReady, onWsData, onWsClose, this);
}

int Service::port() const {
    mg_server_port ports[4] = {};
    const int count = mg_get_server_ports(context_, 4, ports);
    return count > 0 ? ports[0].port : 0;
}

void Service::stop() {
    if (context_) {
        mg_stop(context_);  // closes the WebSockets: their jogs stop
        context_ = nullptr;
    }
    for (auto &line : lines_) line->shutdown();
    {
        std::lock_guard<std::mutex> lock(outMutex_);
        outStopping_ = true;
    }
    outWake_.notify_all();
    if (sender_.joinable()) sender_.join();
}

ServedLine *Service::findLine(const std::string &name) const {
    for (const auto &line : lines_)
        if (line->name() == name) return line.get();
    return nullptr;
}

std::string Service::clientAddress(const mg_connection *conn) const {
    const mg_request_info *info = mg_get_request_info(conn);
    std::string address = info ? info->remote_addr : "";
    if (options_.trustProxy && address.rfind("127.", 0) == 0) {
        const char *real = mg_get_header(conn, "X-Real-IP");
        if (real && *real) address = real;
    }
    return address;
}

json Service::linesJson() const {
    json out = json::array();
    for (const auto &line : lines_) out.push_back(line->describe());
    return out;
}

// ---- requests -----------------------------------------------------------------------------

int Service::handleRequest(mg_connection *conn) {
    const mg_request_info *info = mg_get_request_info(conn);
    Request request;
    request.method = info->request_method ? info->request_method : "";
    request.uri = info->local_uri ? info->local_uri : "";
    request.query = info->query_string ? info->query_string : "";
    request.address = clientAddress(conn);
    if (request.uri == "/metrics" || request.uri.rfind("/api/", 0) == 0) {
        if (request.uri == "/api/v1/openapi.json" && request.method == "GET")
            return serveFile(conn, request.uri);
        try {
            request.who = authenticate(conn, request);
            if (request.uri == "/metrics") {
                if (request.method != "GET") throw refused(405, "Only GET is served here");
                return metrics(conn);
            }
            return handleApi(conn, request);
        } catch (const LineError &error) {
            Headers headers;
            if (error.status() == 401) headers.push_back({"WWW-Authenticate", "Bearer"});
            if (error.status() == 429)
                headers.push_back({"Retry-After", std::to_string(static_cast<int>(
                                                      throttle_.wait(request.address) + 1))});
            if (request.method == "POST" && request.who)
                log("command " + request.who->name + "@" + request.address + " " + request.method +
                    " " + request.uri + " " + request.body + " -> " +
                    std::to_string(error.status()) + " " + error.what());
            return replyError(conn, error, headers);
        }
    }
    if (request.method != "GET") return reply(conn, 405, errorJson(0, "Only GET is served here"));
    return serveFile(conn, request.uri);
}

std::optional<Identity> Service::authenticate(mg_connection *conn, Request &request) {
    const char *header = mg_get_header(conn, "Authorization");
    std::string token;
    if (header && std::strncmp(header, "Bearer ", 7) == 0) token = header + 7;
    while (!token.empty() && token.back() == ' ') token.pop_back();
    if (token.empty()) throw refused(401, "Sign in: send the header Authorization: Bearer TOKEN");
    // A stop is never refused to a valid token, not even while its address waits.
    const bool stop = request.method == "POST" && request.uri.size() > 5 &&
                      request.uri.compare(request.uri.size() - 5, 5, "/stop") == 0;
    if (!stop && throttle_.wait(request.address) > 0)
        throw refused(429, "Too many failed sign-ins from " + request.address + ": wait");
    auto who = tokens_.verify(token);
    if (!who) {
        throttle_.failed(request.address);
        signInFailures_ += 1;
        log("sign-in refused from " + request.address + " (" + request.method + " " + request.uri +
            ")");
        throw refused(401, "The token is not valid");
    }
    throttle_.succeeded(request.address);
    return who;
}

namespace {

void requireOperator(const Identity &who) {
    if (who.role != Role::Operator)
        throw refused(403,
                      "The token '" + who.name + "' is a viewer's: only operators may do this");
}

std::string readBody(mg_connection *conn, std::size_t limit) {
    const mg_request_info *info = mg_get_request_info(conn);
    if (info->content_length > static_cast<long long>(limit))
        throw refused(413, "The request body is larger than " + std::to_string(limit) + " bytes");
    std::string body;
    char buffer[8192];
    for (;;) {
        const int got = mg_read(conn, buffer, sizeof buffer);
        if (got <= 0) break;
        body.append(buffer, static_cast<std::size_t>(got));
        if (body.size() > limit)
            throw refused(413,
                          "The request body is larger than " + std::to_string(limit) + " bytes");
    }
    return body;
}

json parseJson(const std::string &text) {
    if (text.empty()) return json::object();
    try {
        return json::parse(text);
    } catch (const json::parse_error &error) {
        throw refused(400, std::string("Malformed JSON: ") + error.what());
    }
}

}  // namespace

int Service::handleApi(mg_connection *conn, Request &request) {
    const auto path = splitPath(request.uri);  // "api", "v1", ...
    if (path.size() < 3 || path[0] != "api" || path[1] != "v1")
        throw refused(404, "No such resource: " + request.uri);
    const Identity &who = *request.who;
    if (path[2] == "session" && path.size() == 3) {
        if (request.method != "GET") throw refused(405, "Only GET is served here");
        return reply(conn, 200, {{"name", who.name}, {"role", roleName(who.role)}});
    }
    if (path[2] != "lines") throw refused(404, "No such resource: " + request.uri);
    if (path.size() == 3) {
        if (request.method != "GET") throw refused(405, "Only GET is served here");
        return reply(conn, 200, linesJson());
    }
    ServedLine *line = findLine(path[3]);
    if (!line) throw refused(404, "No line named '" + path[3] + "'");
    return handleLine(conn, request, *line, path);
}

int Service::handleLine(mg_connection *conn, Request &request, ServedLine &line,
                        const std::vector<std::string> &path) {
    const Identity &who = *request.who;
    const bool get = request.method == "GET";
    const bool post = request.method == "POST";
    if (!get && !post) throw refused(405, "Only GET and POST are served here");
    if (path.size() >= 6 && path[4] == "motors") {
        const auto address = parseAddress(path[5]);
        if (!address) throw refused(404, "No motor '" + path[5] + "': addresses are 0 to 15");
        std::string action = path.size() >= 7 ? path[6] : "";
        if (path.size() > 7) throw refused(404, "No such resource: " + request.uri);
        return handleMotor(conn, request, line, *address, action);
    }
    if (path.size() == 4) {
        if (!get) throw refused(405, "Only GET is served here");
        return reply(conn, 200, line.describe());
    }
    if (path.size() != 5) throw refused(404, "No such resource: " + request.uri);
    const std::string &action = path[4];
    if (action == "trace") {
        if (!get) throw refused(405, "Only GET is served here");
        std::size_t count = 100;
        char value[16] = {};
        if (mg_get_var(request.query.c_str(), request.query.size(), "count", value, sizeof value) >
            0) {
            char *end = nullptr;
            const long n = std::strtol(value, &end, 10);
            if (*end || n < 1 || n > static_cast<long>(kTraceMax))
                throw refused(400, "'count' must be a whole number from 1 to 500");
            count = static_cast<std::size_t>(n);
        }
        return reply(conn, 200, line.traceTail(count));
    }
    if (!post) throw refused(405, "Only POST is served here");
    request.body = readBody(conn, kLargestJson);
    const json body = parseJson(request.body);
    int status = 200;
    json answer;
    if (action == "stop") {
        Fields fields(body, {});
        const json failures = line.stopAll();
        if (!failures.empty()) {
            answer = errorJson(failures[0]["number"], failures[0]["message"]);
            answer["failures"] = failures;
            status = 500;
        } else {
            answer = {{"stopped", line.stations()}};
        }
    } else {
        requireOperator(who);
        if (action == "scan") {
            Fields fields(body, {});
            line.scan();
        } else if (action == "init") {
            Fields fields(body, {});
            line.initialise();
        } else if (action == "reconnect") {
            Fields fields(body, {});
            line.reconnect();
        } else if (action == "rate") {
            Fields fields(body, {"rate"});
            const int rate = static_cast<int>(*fields.integer("rate", 0, 115200, true));
            if (rate != 9600 && rate != 19200 && rate != 38400 && rate != 57600 && rate != 115200)
                throw refused(400, "'rate' must be 9600, 19200, 38400, 57600 or 115200");
            line.changeRate(rate);
        } else {
            throw refused(404, "No such resource: " + request.uri);
        }
        answer = line.describe();
    }
    log("command " + who.name + "@" + request.address + " POST " + request.uri + " " +
        request.body + " -> " + std::to_string(status));
    return reply(conn, status, answer);
}

int Service::handleMotor(mg_connection *conn, Request &request, ServedLine &line, int address,
                         const std::string &action) {
    const Identity &who = *request.who;
    const bool get = request.method == "GET";
    // A stop is never refused to a signed-in client: it goes out even to an address that
    // the last scan did not find.
    if (action != "stop" && !line.knows(address))
        throw refused(404, "No motor at address " + std::to_string(address) + " on line '" +
                               line.name() + "'");
    if (action.empty()) {
        if (!get) throw refused(405, "Only GET is served here");
        json state = line.read(address).toJson();
        if (auto profile = line.profileProgress(address)) state["profile"] = *profile;
        return reply(conn, 200, state);
    }
    if (action == "profile" && get) {
        auto profile = line.profileProgress(address);
        if (!profile) throw refused(404, "No profile was played on this motor");
        return reply(conn, 200, *profile);
    }
    if (get) throw refused(405, "Only POST is served here");
    if (action != "stop") requireOperator(who);
    const char *type = mg_get_header(conn, "Content-Type");
    const bool csv = type && std::strncmp(type, "text/csv", 8) == 0;
    request.body = readBody(conn, csv || action == "profile" ? kLargestBody : kLargestJson);
    const std::string logged =
        csv ? "(" + std::to_string(request.body.size()) + " bytes of CSV)" : request.body;
    json answer = {{"ok", true}};
    if (action == "stop") {
        Fields fields(parseJson(request.body), {});
        line.stop(address);
    } else if (action == "move") {
        const json body = parseJson(request.body);
        Fields fields(body, {"relative", "absolute"});
        if (fields.has("relative") == fields.has("absolute"))
            throw refused(400, "Give one of 'relative' and 'absolute'");
        if (auto steps = fields.integer("relative", -CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX))
            line.moveRelative(address, static_cast<std::int32_t>(*steps));
        else
            line.moveAbsolute(address,
                              static_cast<std::int32_t>(*fields.integer(
                                  "absolute", -CORVEXLINK_COUNT_MAX, CORVEXLINK_COUNT_MAX)));
    } else if (action == "speed") {
        const json body = parseJson(request.body);
        Fields fields(body, {"slew", "first", "acceleration", "jog"});
        auto slew = fields.integer("slew", CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX);
        auto first = fields.integer("first", CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX);
        auto acceleration =
            fields.integer("acceleration", CORVEXLINK_ACCEL_MIN, CORVEXLINK_ACCEL_MAX);
        auto jog = fields.integer("jog", CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX);
        if (!slew && !first && !acceleration && !jog)
            throw refused(400, "Give at least one of 'slew', 'first', 'acceleration' and 'jog'");
        auto narrow = [](std::optional<long long> v) {
            return v ? std::optional<int>(static_cast<int>(*v)) : std::nullopt;
        };
        line.setSpeeds(address, narrow(slew), narrow(first), narrow(acceleration), narrow(jog));
    } else if (action == "jog") {
        const json body = parseJson(request.body);
        Fields fields(body, {"direction", "speed"});
        const int direction = directionFrom(fields);
        auto speed = fields.integer("speed", CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX);
        // Over HTTP the jog is held by its token: each request renews it for the
        // keep-alive, after which the motor stops.
        const std::uint64_t owner = (std::uint64_t{1} << 63) | who.index;
        line.jog(address, direction,
                 speed ? std::optional<int>(static_cast<int>(*speed)) : std::nullopt, owner);
        answer = {{"ok", true},
                  {"keepAlive", std::chrono::duration<double>(ServedLine::kJogKeepAlive).count()}};
    } else if (action == "profile") {
        std::string text = request.body;
        int mode = 33;
        if (!csv) {
            const json body = parseJson(request.body);
            Fields fields(body, {"csv", "mode"});
            auto given = fields.text("csv");
            if (!given) throw refused(400, "Missing field 'csv' (or send the file as text/csv)");
            text = *given;
            if (auto m = fields.integer("mode", 0, 255)) {
                mode = static_cast<int>(*m);
                if (std::find(std::begin(kStepModes), std::end(kStepModes), mode) ==
                    std::end(kStepModes))
                    throw refused(400, "'mode' must be 36, 34, 33 or 8");
            }
        }
        std::vector<corvexlink::profilecsv::Segment> segments;
        try {
            std::istringstream in(text);
            segments = corvexlink::profilecsv::readProfile(in, "profile");
        } catch (const corvexlink::profilecsv::ProfileError &error) {
            throw refused(400, error.what());
        }
        std::vector<ProfileSegment> queue;
        for (const auto &s : segments) queue.push_back({s.firstRate, s.slope, s.steps});
        line.playProfile(address, std::move(queue), mode);
        answer = {{"ok", true}, {"segments", segments.size()}};
    } else {
        throw refused(404, "No such resource: " + request.uri);
    }
    log("command " + who.name + "@" + request.address + " POST " + request.uri + " " + logged +
        " -> 200");
    return reply(conn, 200, answer);
}

int Service::serveFile(mg_connection *conn, const std::string &uri) {
    struct Known {
        const char *uri;
        const char *file;
        const char *mime;
    };
    static const Known files[] = {
        {"/", "index.html", "text/html; charset=utf-8"},
        {"/index.html", "index.html", "text/html; charset=utf-8"},
        {"/app.js", "app.js", "text/javascript; charset=utf-8"},
        {"/style.css", "style.css", "text/css; charset=utf-8"},
        {"/favicon.svg", "favicon.svg", "image/svg+xml"},
        {"/favicon.ico", "favicon.svg", "image/svg+xml"},
    };
    auto send = [&](const std::string &path, const char *mime) {
        // The page's files are small: read whole, each time (no cache to go stale).
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        if (!in) return reply(conn, 404, errorJson(0, "Not installed: " + path));
        return respond(conn, 200, mime, text.str(),
                       {{"X-Content-Type-Options", "nosniff"},
                        {"Cache-Control", "no-cache"},
                        {"Content-Security-Policy",
                         "default-src 'self'; connect-src 'self' ws: wss:; style-src 'self' "
                         "'unsafe-inline'; img-src 'self' data:; frame-ancestors 'none'"}});
    };
    if (uri == "/chart.min.js") return send(options_.chartJs, "text/javascript; charset=utf-8");
    if (uri == "/api/v1/openapi.json") return send(options_.openapi, "application/json");
    for (const Known &known : files)
        if (uri == known.uri) return send(options_.www + "/" + known.file, known.mime);
    return reply(conn, 404, errorJson(0, "No such resource: " + uri));
}

int Service::metrics(mg_connection *conn) {
    std::map<const ServedLine *, int> clients;
    int connected = 0;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        connected = static_cast<int>(clients_.size());
        for (const auto &[c, client] : clients_) {
            std::set<const ServedLine *> lines;
            for (const auto &[line, address] : client->motors) lines.insert(line);
            for (const ServedLine *line : lines) clients[line] += 1;
        }
    }
    std::ostringstream out;
    auto family = [&](const char *name, const char *type, const char *help) {
        out << "# HELP " << name << " " << help << "\n# TYPE " << name << " " << type << "\n";
    };
    struct Row {
        const char *name;
        const char *type;
        const char *help;
        std::function<double(const ServedLine &, const LineCounters &)> value;
    };
    const Row rows[] = {
        {"corvexlink_web_transactions_total", "counter",
         "Frames sent on the line, repeats included.",
         [](const ServedLine &, const LineCounters &c) { return double(c.transactions); }},
        {"corvexlink_web_timeouts_total", "counter", "Frames that got no answer in the end.",
         [](const ServedLine &, const LineCounters &c) { return double(c.timeouts); }},
        {"corvexlink_web_errors_total", "counter", "Calls on the line that failed.",
         [](const ServedLine &, const LineCounters &c) { return double(c.errors); }},
        {"corvexlink_web_lost_total", "counter", "Times the line's device went away.",
         [](const ServedLine &, const LineCounters &c) { return double(c.lost); }},
        {"corvexlink_web_line_up", "gauge", "1 while the line is open.",
         [](const ServedLine &, const LineCounters &c) { return c.up ? 1.0 : 0.0; }},
        {"corvexlink_web_clients", "gauge", "WebSocket clients subscribed to a motor of the line.",
         [&](const ServedLine &l, const LineCounters &) { return double(clients[&l]); }},
        {"corvexlink_web_polled_motors", "gauge", "Motors polled for the subscribed clients.",
         [](const ServedLine &l, const LineCounters &) { return double(l.subscribedMotors()); }},
        {"corvexlink_web_poll_transactions_total", "counter", "Transactions of the polling.",
         [](const ServedLine &, const LineCounters &c) { return double(c.polls); }},
        {"corvexlink_web_poll_seconds_total", "counter", "Line time the polling took, in seconds.",
         [](const ServedLine &, const LineCounters &c) { return c.pollSeconds; }},
    };
    std::vector<LineCounters> counters;
    for (const auto &line : lines_) counters.push_back(line->counters());
    for (const Row &row : rows) {
        family(row.name, row.type, row.help);
        for (std::size_t i = 0; i < lines_.size(); ++i)
            out << row.name << "{line=\"" << lines_[i]->name() << "\"} "
                << row.value(*lines_[i], counters[i]) << "\n";
    }
    family("corvexlink_web_websocket_clients", "gauge", "WebSocket clients connected.");
    out << "corvexlink_web_websocket_clients " << connected << "\n";
    family("corvexlink_web_signin_failures_total", "counter", "Requests with a token not valid.");
    out << "corvexlink_web_signin_failures_total " << signInFailures_.load() << "\n";
    const std::string text = out.str();
    return respond(conn, 200, "text/plain; version=0.0.4; charset=utf-8", text);
}

// ---- WebSocket ------------------------------------------------------------------------------

bool Service::originAllowed(const mg_connection *conn) const {
    const char *origin = mg_get_header(conn, "Origin");
    if (!origin) return true;  // not a browser: the token alone decides
    std::string o = origin;
    for (const std::string &allowed : options_.allowOrigins)
        if (o == allowed) return true;
    // The page's own origin: the same host and port as the request names.
    const char *host = mg_get_header(conn, "Host");
    if (!host) return false;
    const auto scheme = o.find("://");
    if (scheme == std::string::npos) return false;
    return o.substr(scheme + 3) == host;
}

int Service::wsConnect(const mg_connection *conn) {
    auto *mutableConn = const_cast<mg_connection *>(conn);
    const std::string address = clientAddress(conn);
    auto refuse = [&](int status, const std::string &message) {
        log("WebSocket from " + address + " refused: " + message);
        const std::string body = errorJson(0, message).dump();
        mg_printf(mutableConn,
                  "HTTP/1.1 %d %s\r\nContent-Type: application/json\r\nContent-Length: %zu\r\n"
                  "Connection: close\r\n\r\n%s",
                  status, statusText(status), body.size(), body.c_str());
        return 1;
    };
    if (!originAllowed(conn))
        return refuse(403, std::string("The origin ") + mg_get_header(conn, "Origin") +
                               " may not open this WebSocket");
    std::string token;
    const char *header = mg_get_header(conn, "Authorization");
    if (header && std::strncmp(header, "Bearer ", 7) == 0) token = header + 7;
    if (const char *protocols = mg_get_header(conn, "Sec-WebSocket-Protocol")) {
        std::string list = protocols;
        std::size_t start = 0;
        while (start <= list.size()) {
            std::size_t end = list.find(',', start);
            if (end == std::string::npos) end = list.size();
            std::string item = list.substr(start, end - start);
            item.erase(0, item.find_first_not_of(' '));
            item.erase(item.find_last_not_of(' ') + 1);
            if (item.rfind(kBearerProtocol, 0) == 0)
                token = item.substr(std::strlen(kBearerProtocol));
            start = end + 1;
        }
    }
    if (token.empty()) return refuse(401, "Sign in: send the header Authorization: Bearer TOKEN");
    if (throttle_.wait(address) > 0)
        return refuse(429, "Too many failed sign-ins from " + address + ": wait");
    auto who = tokens_.verify(token);
    if (!who) {
        throttle_.failed(address);
        signInFailures_ += 1;
        return refuse(401, "The token is not valid");
    }
    throttle_.succeeded(address);
    auto client = std::make_shared<Client>();
    client->who = *who;
    client->address = address;
    client->conn = mutableConn;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        client->id = nextClientId_++;
        clients_[conn] = client;
    }
    log("WebSocket " + std::to_string(client->id) + " of " + who->name + "@" + address +
        " connected");
    return 0;
}

void Service::wsReady(mg_connection *conn) {
    std::shared_ptr<Client> client;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        auto found = clients_.find(conn);
        if (found != clients_.end()) client = found->second;
    }
    if (!client) return;
    send(client,
         json{{"hello",
               {{"name", client->who.name},
                {"role", roleName(client->who.role)},
                {"keepAlive", std::chrono::duration<double>(ServedLine::kJogKeepAlive).count()},
                {"lines", linesJson()}}}}
             .dump());
}

int Service::wsData(mg_connection *conn, int bits, char *data, std::size_t length) {
    const int opcode = bits & 0x0f;
    if (opcode == MG_WEBSOCKET_OPCODE_CONNECTION_CLOSE) return 0;
    if (opcode != MG_WEBSOCKET_OPCODE_TEXT) return 1;
    std::shared_ptr<Client> client;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        auto found = clients_.find(conn);
        if (found != clients_.end()) client = found->second;
    }
    if (!client) return 0;
    json message;
    try {
        message = json::parse(std::string(data, length));
    } catch (const json::parse_error &error) {
        send(client, errorJson(0, std::string("Malformed JSON: ") + error.what()).dump());
        return 1;
    }
    const std::string kind =
        message.is_object() && message.size() == 1 ? message.begin().key() : std::string();
    try {
        if (kind.empty()) throw refused(400, "A message is an object with one field");
        json answer = wsCommand(*client, message);
        if (!answer.is_null()) send(client, answer.dump());
    } catch (const LineError &error) {
        json answer = errorJson(error.number(), error.what());
        answer["request"] = kind;
        answer["status"] = error.status();
        send(client, answer.dump());
    }
    return 1;
}

json Service::wsCommand(Client &client, const json &message) {
    const std::string kind = message.begin().key();
    const json &value = message.begin().value();
    auto motorOf = [&](const json &target, bool mustKnow,
                       std::initializer_list<const char *> extra) -> std::pair<ServedLine *, int> {
        std::vector<const char *> known = {"line", "address"};
        known.insert(known.end(), extra.begin(), extra.end());
        if (!target.is_object()) throw refused(400, "'" + kind + "' takes an object");
        for (const auto &[key, v] : target.items()) {
            (void)v;
            if (std::find_if(known.begin(), known.end(), [&](const char *k) { return key == k; }) ==
                known.end())
                throw refused(400, "Unknown field '" + key + "'");
        }
        if (!target.contains("line") || !target["line"].is_string())
            throw refused(400, "Missing field 'line'");
        ServedLine *line = findLine(target["line"].get<std::string>());
        if (!line) throw refused(404, "No line named '" + target["line"].get<std::string>() + "'");
        if (!target.contains("address")) return {line, -1};
        const json &a = target["address"];
        if (!a.is_number_integer() || a.get<long long>() < CORVEXLINK_ADDRESS_MIN ||
            a.get<long long>() > CORVEXLINK_ADDRESS_MAX)
            throw refused(404, "No motor '" + a.dump() + "': addresses are 0 to 15");
        const int address = a.get<int>();
        if (mustKnow && !line->knows(address))
            throw refused(404, "No motor at address " + std::to_string(address) + " on line '" +
                                   line->name() + "'");
        return {line, address};
    };
    auto logged = [&](const std::string &what) {
        log("command " + client.who.name + "@" + client.address + " WebSocket " + what);
    };
    if (kind == "subscribe") {
        subscribe(client, value);
        return nullptr;
    }
    if (kind == "trace") {
        if (!value.is_array()) throw refused(400, "'trace' takes a list of line names");
        std::set<ServedLine *> lines;
        for (const json &name : value) {
            ServedLine *line = name.is_string() ? findLine(name.get<std::string>()) : nullptr;
            if (!line) throw refused(404, "No line named " + name.dump());
            lines.insert(line);
        }
        std::lock_guard<std::mutex> lock(clientsMutex_);
        client.traced = lines;
        return json{{"tracing", value}};
    }
    if (kind == "keepalive") {
        for (auto &line : lines_) line->renewJogs(client.id);
        return nullptr;
    }
    if (kind == "stop") {
        auto [line, address] = motorOf(value, false, {});
        logged("stop " + value.dump());
        if (address < 0) {
            const json failures = line->stopAll();
            if (!failures.empty()) {
                json answer = errorJson(failures[0]["number"], failures[0]["message"]);
                answer["request"] = kind;
                answer["failures"] = failures;
                return answer;
            }
            return json{{"stopped", {{"line", line->name()}, {"addresses", line->stations()}}}};
        }
        line->stop(address);
        return json{{"stopped", {{"line", line->name()}, {"addresses", {address}}}}};
    }
    if (kind == "release") {
        auto [line, address] = motorOf(value, false, {});
        if (address < 0) throw refused(400, "Missing field 'address'");
        line->releaseJog(address, client.id);
        return nullptr;
    }
    if (kind == "jog") {
        requireOperator(client.who);
        auto [line, address] = motorOf(value, true, {"direction", "speed"});
        if (address < 0) throw refused(400, "Missing field 'address'");
        Fields fields(value, {"line", "address", "direction", "speed"});
        const int direction = directionFrom(fields);
        auto speed = fields.integer("speed", CORVEXLINK_RATE_MIN, CORVEXLINK_RATE_MAX);
        const bool renewal = line->jogging(address);
        line->jog(address, direction,
                  speed ? std::optional<int>(static_cast<int>(*speed)) : std::nullopt, client.id);
        if (!renewal) logged("jog " + value.dump());
        return nullptr;
    }
    throw refused(400, "Unknown message '" + kind + "'");
}

void Service::subscribe(Client &client, const json &motors) {
    if (!motors.is_array())
        throw refused(400, "'subscribe' takes a list of {\"line\", \"address\"}");
    std::set<std::pair<ServedLine *, int>> wanted;
    for (const json &motor : motors) {
        if (!motor.is_object() || !motor.contains("line") || !motor["line"].is_string() ||
            !motor.contains("address") || !motor["address"].is_number_integer())
            throw refused(400, "'subscribe' takes a list of {\"line\", \"address\"}");
        ServedLine *line = findLine(motor["line"].get<std::string>());
        if (!line) throw refused(404, "No line named " + motor["line"].dump());
        const long long address = motor["address"].get<long long>();
        if (address < CORVEXLINK_ADDRESS_MIN || address > CORVEXLINK_ADDRESS_MAX ||
            !line->knows(static_cast<int>(address)))
            throw refused(404, "No motor at address " + motor["address"].dump() + " on line '" +
                                   line->name() + "'");
        wanted.insert({line, static_cast<int>(address)});
    }
    std::vector<std::pair<ServedLine *, int>> added, removed;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        for (const auto &m : wanted)
            if (!client.motors.count(m)) added.push_back(m);
        for (const auto &m : client.motors)
            if (!wanted.count(m)) removed.push_back(m);
        client.motors = wanted;
    }
    for (const auto &[line, address] : removed) line->unsubscribe(address);
    for (const auto &[line, address] : added) line->subscribe(address);
    std::shared_ptr<Client> self;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        auto found = clients_.find(client.conn);
        if (found != clients_.end()) self = found->second;
    }
    if (!self) return;
    json list = json::array();
    for (const auto &[line, address] : wanted)
        list.push_back({{"line", line->name()}, {"address", address}});
    send(self, json{{"subscribed", list}}.dump());
    // What is known already, so a new subscriber need not wait for a change.
    for (const auto &[line, address] : added) {
        if (auto state = line->lastState(address)) {
            json message = {{"line", line->name()}, {"address", address}};
            message.update(state->toJson());
            send(self, message.dump());
        }
    }
}

void Service::wsClose(const mg_connection *conn) {
    std::shared_ptr<Client> client;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        auto found = clients_.find(conn);
        if (found == clients_.end()) return;
        client = found->second;
        clients_.erase(found);
    }
    {
        std::lock_guard<std::mutex> lock(client->mutex);
        client->closed = true;
        client->conn = nullptr;
    }
    // The socket closed: its hold-to-run jogs stop now.
    for (auto &line : lines_) line->releaseJogs(client->id, "its WebSocket closed");
    std::set<std::pair<ServedLine *, int>> motors;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        motors.swap(client->motors);
        client->traced.clear();
    }
    for (const auto &[line, address] : motors) line->unsubscribe(address);
    log("WebSocket " + std::to_string(client->id) + " of " + client->who.name + "@" +
        client->address + " closed");
}

void Service::send(const std::shared_ptr<Client> &client, std::string text) {
    {
        std::lock_guard<std::mutex> lock(outMutex_);
        if (outStopping_) return;
        if (client->pending >= kMaxPending) {
            if (!client->dropping)
                log("WebSocket " + std::to_string(client->id) +
                    " reads too slowly: messages dropped");
            client->dropping = true;
            return;
        }
        client->dropping = false;
        client->pending += 1;
        out_.emplace_back(client, std::move(text));
    }
    outWake_.notify_one();
}

void Service::senderMain() {
    std::unique_lock<std::mutex> lock(outMutex_);
    for (;;) {
        outWake_.wait(lock, [&] { return outStopping_ || !out_.empty(); });
        if (outStopping_) return;
        auto [client, text] = std::move(out_.front());
        out_.pop_front();
        client->pending -= 1;
        lock.unlock();
        {
            std::lock_guard<std::mutex> clientLock(client->mutex);
            if (!client->closed && client->conn)
                mg_websocket_write(client->conn, MG_WEBSOCKET_OPCODE_TEXT, text.data(),
                                   text.size());
        }
        lock.lock();
    }
}

void Service::broadcastMotor(const ServedLine &line, int address, const MotorState &state) {
    std::vector<std::shared_ptr<Client>> to;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        const std::pair<ServedLine *, int> key{const_cast<ServedLine *>(&line), address};
        for (const auto &[conn, client] : clients_)
            if (client->motors.count(key)) to.push_back(client);
    }
    if (to.empty()) return;
    json message = {{"line", line.name()}, {"address", address}};
    message.update(state.toJson());
    const std::string text = message.dump();
    for (const auto &client : to) send(client, text);
}

void Service::broadcastLine(const ServedLine &line) {
    std::vector<std::shared_ptr<Client>> to;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        for (const auto &[conn, client] : clients_) to.push_back(client);
    }
    if (to.empty()) return;
    const std::string text = json{{"lineState", line.describe()}}.dump();
    for (const auto &client : to) send(client, text);
}

void Service::broadcastTrace(const ServedLine &line, const json &event) {
    std::vector<std::shared_ptr<Client>> to;
    {
        std::lock_guard<std::mutex> lock(clientsMutex_);
        for (const auto &[conn, client] : clients_)
            if (client->traced.count(const_cast<ServedLine *>(&line))) to.push_back(client);
    }
    if (to.empty()) return;
    json message = {{"trace", event}};
    message["trace"]["line"] = line.name();
    const std::string text = message.dump();
    for (const auto &client : to) send(client, text);
}

}  // namespace corvexweb
