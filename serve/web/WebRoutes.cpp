// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/web/WebRoutes.h"

#include <strings.h>
#include <unistd.h>

#include <charconv>
#include <optional>

#include "serve/ErrorQueue.h"
#include "serve/web/PrometheusMetrics.h"
#include "serve/web/WebSocketSession.h"

namespace {

constexpr const char* kText = "text/plain; charset=utf-8";
constexpr const char* kHtml = "text/html; charset=utf-8";
constexpr const char* kJson = "application/json";
constexpr const char* kRealm = "SELKORAN";
// Control requests carry it, so another site's page cannot send them without the browser's
// preflight, which this server never grants.
constexpr const char* kControlHeader = "X-Selkoran-Control";

MHD_Response* Made(const std::string& body, const char* contentType) {
    MHD_Response* response = MHD_create_response_from_buffer(
        body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType);
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return response;
}

MHD_Result Queue(MHD_Connection* connection, unsigned status, MHD_Response* response) {
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

MHD_Result Answer(MHD_Connection* connection, unsigned status, const std::string& body,
                  const char* contentType = kText) {
    return Queue(connection, status, Made(body, contentType));
}

const char* Value(MHD_Connection* connection, MHD_ValueKind kind, const char* key) {
    return MHD_lookup_connection_value(connection, kind, key);
}

const sockaddr* Peer(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    return info != nullptr ? info->client_addr : nullptr;
}

HostIdentity Host(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return HostIdentity::OfConnection(info != nullptr ? info->connect_fd : -1);
}

// A whole number from a query argument within [least, most].
std::optional<std::int64_t> Whole(MHD_Connection* connection, const char* key, std::int64_t least,
                                  std::int64_t most) {
    const char* text = Value(connection, MHD_GET_ARGUMENT_KIND, key);
    std::int64_t value = 0;
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::string_view view(text);
    const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (error != std::errc() || end != view.data() + view.size() || value < least || value > most) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> GivenPassword(MHD_Connection* connection) {
    char* password = nullptr;
    char* user = MHD_basic_auth_get_username_password(connection, &password);
    std::optional<std::string> given;
    if (password != nullptr) {
        given = password;
    }
    MHD_free(user);
    MHD_free(password);
    return given;
}

}  // namespace

WebRoutes::WebRoutes(ScpiInstrument& shared, LiveView& view, const ControlAccess& control,
                     WebPageFiles pageFiles, Ports listening, MHD_UpgradeHandler onUpgraded,
                     void* onUpgradedArgument)
    : instrument(shared),
      live(view),
      access(control),
      files(std::move(pageFiles)),
      pages(shared, listening.scpi),
      ports(listening),
      upgraded(onUpgraded),
      upgradedArgument(onUpgradedArgument) {}

MHD_Result WebRoutes::Respond(MHD_Connection* connection, const std::string& url,
                              const std::string& method, Request& request) {
    if (request.bodyBytes > kLongestBody) {
        return Answer(connection, MHD_HTTP_CONTENT_TOO_LARGE, "要求が大きすぎます\n");
    }
    if (method == MHD_HTTP_METHOD_GET || method == MHD_HTTP_METHOD_HEAD) {
        return Get(connection, url, request);
    }
    if (method == MHD_HTTP_METHOD_POST && url.starts_with("/control/")) {
        return Control(connection, url);
    }
    MHD_Response* response = Made("この操作はできません\n", kText);
    MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST");
    return Queue(connection, MHD_HTTP_METHOD_NOT_ALLOWED, response);
}

MHD_Result WebRoutes::Get(MHD_Connection* connection, const std::string& url, Request& request) {
    if (url == "/") {
        return Answer(connection, MHD_HTTP_OK, pages.WelcomePage(Host(connection)), kHtml);
    }
    if (url == "/lxi/identification") {
        return Answer(connection, MHD_HTTP_OK, pages.Identification(Host(connection), ports.http),
                      "text/xml; charset=utf-8");
    }
    if (url == "/metrics") {
        return Answer(connection, MHD_HTTP_OK,
                      PrometheusMetrics::Text(instrument, live.SamplesTotal()),
                      PrometheusMetrics::kContentType);
    }
    if (url == "/live/socket") {
        return Upgrade(connection, request);
    }
    constexpr std::string_view kDownload = "/download/last.";
    if (url.starts_with(kDownload)) {
        return Download(connection, url.substr(kDownload.size()));
    }
    if (const WebPageFiles::File* file = files.Find(url)) {
        return Answer(connection, MHD_HTTP_OK, file->contents, file->contentType.c_str());
    }
    return Answer(connection, MHD_HTTP_NOT_FOUND, "ページがありません：" + url + '\n');
}

MHD_Result WebRoutes::Control(MHD_Connection* connection, const std::string& url) {
    if (access.NeedsPassword() && !access.Allows(Peer(connection), GivenPassword(connection))) {
        MHD_Response* response = Made("パスワードが違います\n", kText);
        const MHD_Result result = MHD_queue_basic_auth_fail_response(connection, kRealm, response);
        MHD_destroy_response(response);
        return result;
    }
    if (!access.Allows(Peer(connection), GivenPassword(connection))) {
        return Answer(connection, MHD_HTTP_FORBIDDEN, access.NoteFor(Peer(connection)).text + '\n');
    }
    if (Value(connection, MHD_HEADER_KIND, kControlHeader) == nullptr) {
        return Answer(connection, MHD_HTTP_FORBIDDEN, "ページからの操作ではありません\n");
    }
    if (url == "/control/start") {
        return Start(connection);
    }
    if (url == "/control/stop") {
        if (!instrument.Busy()) {
            return Answer(connection, MHD_HTTP_CONFLICT, "計測していません\n");
        }
        instrument.Abort();
        return Answer(connection, MHD_HTTP_OK, "{\"ok\":true}", kJson);
    }
    return Answer(connection, MHD_HTTP_NOT_FOUND, "ページがありません：" + url + '\n');
}

// The settings come with the start, so a page starts what it shows.
MHD_Result WebRoutes::Start(MHD_Connection* connection) {
    if (instrument.Busy()) {
        return Answer(connection, MHD_HTTP_CONFLICT,
                      "計測中のため開始できません（" + std::to_string(ScpiError::kInitIgnored) +
                          ",\"" + ScpiError::Text(ScpiError::kInitIgnored) + "\"）\n");
    }
    const auto rate = Whole(connection, "rate", 0, kRateCount - 1);
    const auto channel = Whole(connection, "channel", 0, kChannelChoiceCount - 1);
    const auto count = Whole(connection, "count", 1, Acquisition::kMaxStartCount);
    const char* filter = Value(connection, MHD_GET_ARGUMENT_KIND, "filter");
    const bool fFilter = filter != nullptr && (std::string_view(filter) == "sinc5" ||
                                               std::string_view(filter) == "sinc3");
    if (!rate || !channel || !count || !fFilter) {
        return Answer(connection, MHD_HTTP_BAD_REQUEST,
                      "設定が正しくありません（データ数は 1 から " +
                          std::to_string(Acquisition::kMaxStartCount) + " まで）\n");
    }
    RunRequest& run = instrument.Setup().run;
    run.settings.spsSel = static_cast<std::int32_t>(*rate);
    run.settings.CHSel = static_cast<std::int32_t>(*channel);
    run.settings.fSinc5 = std::string_view(filter) == "sinc5";
    run.count = *count;
    if (instrument.Initiate() != 0) {
        return Answer(connection, MHD_HTTP_SERVICE_UNAVAILABLE, "計測エラーで終了\n");
    }
    live.Notice();
    return Answer(connection, MHD_HTTP_OK, "{\"ok\":true}", kJson);
}

MHD_Result WebRoutes::Download(MHD_Connection* connection, const std::string& extension) {
    const std::optional<RunDownload::Type> type = RunDownload::TypeOf(extension);
    if (!type) {
        return Answer(connection, MHD_HTTP_NOT_FOUND, "この形式ではダウンロードできません\n");
    }
    std::string reason;
    const std::optional<RunDownload::File> file = downloads.Make(instrument, *type, &reason);
    if (!file) {
        return Answer(connection, MHD_HTTP_CONFLICT, reason + '\n');
    }
    // The library closes the file once it has been sent.
    MHD_Response* response = MHD_create_response_from_fd64(file->size, file->fd);
    if (response == nullptr) {
        ::close(file->fd);
        return MHD_NO;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                            *type == RunDownload::Type::Hdf5  ? "application/x-hdf5"
                            : *type == RunDownload::Type::Csv ? "text/csv; charset=utf-8"
                                                              : "application/octet-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_DISPOSITION,
                            ("attachment; filename=\"" + file->name + '"').c_str());
    return Queue(connection, MHD_HTTP_OK, response);
}

MHD_Result WebRoutes::Upgrade(MHD_Connection* connection, Request& request) {
    const char* upgrade = Value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_UPGRADE);
    const char* key = Value(connection, MHD_HEADER_KIND, "Sec-WebSocket-Key");
    const char* version = Value(connection, MHD_HEADER_KIND, "Sec-WebSocket-Version");
    if (upgrade == nullptr || strcasecmp(upgrade, "websocket") != 0 || key == nullptr ||
        version == nullptr || std::string_view(version) != "13") {
        return Answer(connection, MHD_HTTP_BAD_REQUEST, "WebSocket の接続ではありません\n");
    }
    request.control = access.NoteFor(Peer(connection));
    MHD_Response* response = MHD_create_response_for_upgrade(upgraded, upgradedArgument);
    MHD_add_response_header(response, MHD_HTTP_HEADER_UPGRADE, "websocket");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "Upgrade");
    MHD_add_response_header(response, "Sec-WebSocket-Accept",
                            WebSocketSession::AcceptKey(key).c_str());
    return Queue(connection, MHD_HTTP_SWITCHING_PROTOCOLS, response);
}
