// SPDX-License-Identifier: GPL-3.0-or-later
#include "serve/ServiceAnnouncement.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include "serve/ServerLog.h"

namespace {

constexpr const char* kServiceType = "_scpi-raw._tcp";

struct Reason {
    int error;
    const char* text;
};

// The causes met in practice; Avahi's own texts are English.
constexpr Reason kReasons[] = {
    {AVAHI_ERR_NO_DAEMON, "Avahi のデーモンが動いていません"},
    {AVAHI_ERR_DISCONNECTED, "Avahi のデーモンとの接続が切れました"},
    {AVAHI_ERR_DBUS_ERROR, "システムのメッセージバス（D-Bus）とやりとりできません"},
    {AVAHI_ERR_COLLISION, "ネットワーク上のほかの機器が同じ名前を使っています"},
    {AVAHI_ERR_ACCESS_DENIED, "Avahi が許可しませんでした"},
    {AVAHI_ERR_NOT_PERMITTED, "Avahi が許可しませんでした"},
    {AVAHI_ERR_BAD_STATE, "Avahi がこのコンピューターの名前を登録し終えていません"},
    {AVAHI_ERR_NO_NETWORK, "告知に使えるネットワークがありません"},
    {AVAHI_ERR_TIMEOUT, "Avahi が時間内に応答しませんでした"},
    {AVAHI_ERR_TOO_MANY_CLIENTS, "Avahi の接続数が上限に達しています"},
    {AVAHI_ERR_TOO_MANY_OBJECTS, "Avahi の登録数が上限に達しています"},
    {AVAHI_ERR_TOO_MANY_ENTRIES, "Avahi の登録数が上限に達しています"},
    {AVAHI_ERR_NO_MEMORY, "メモリが足りません"},
    {AVAHI_ERR_INVALID_SERVICE_NAME, "告知する名前が正しくありません"},
    {AVAHI_ERR_VERSION_MISMATCH, "Avahi のバージョンが合いません"},
};

}  // namespace

std::string ServiceAnnouncement::ReasonText(int avahiError) {
    for (const Reason& reason : kReasons) {
        if (reason.error == avahiError) {
            return reason.text;
        }
    }
    return "Avahi のエラーです（エラー番号 " + std::to_string(avahiError) + "）";
}

// Everything here is touched by Avahi's thread, under its lock, once the poll has started.
struct ServiceAnnouncement::Avahi {
    AvahiThreadedPoll* poll = nullptr;
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    Service service;
    bool fFailureSaid = false;
    bool fWaitSaid = false;

    ~Avahi() {
        if (poll != nullptr) {
            avahi_threaded_poll_stop(poll);
        }
        if (client != nullptr) {
            avahi_client_free(client);  // frees the group too
        }
        if (poll != nullptr) {
            avahi_threaded_poll_free(poll);
        }
    }

    // "WHAT（REASON）"
    static std::string Failure(const char* what, int error) {
        return std::string(what) + "（" + ReasonText(error) + "）";
    }

    void SayOnce(const std::string& line) {
        if (!fFailureSaid) {
            fFailureSaid = true;
            ServerLog::Say(line);
        }
    }

    void Register(AvahiClient* c) {
        if (group == nullptr) {
            group = avahi_entry_group_new(c, &Avahi::OnGroup, this);
        }
        if (group == nullptr) {
            SayOnce(Failure("ネットワークへの告知ができません", avahi_client_errno(c)));
            return;
        }
        AvahiStringList* txt = nullptr;
        for (const std::string& entry : service.txt) {
            txt = avahi_string_list_add(txt, entry.c_str());
        }
        const int result = avahi_entry_group_add_service_strlst(
            group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags{}, service.name.c_str(),
            kServiceType, nullptr, nullptr, service.port, txt);
        avahi_string_list_free(txt);
        if (result == AVAHI_ERR_COLLISION) {
            Rename();
        } else if (result < 0 || avahi_entry_group_commit(group) < 0) {
            SayOnce(Failure("ネットワークへの告知ができません", result));
        }
    }

    // Another instrument on the network has the name: take the next free one ("... #2").
    void Rename() {
        char* next = avahi_alternative_service_name(service.name.c_str());
        service.name = next;
        avahi_free(next);
        avahi_entry_group_reset(group);
        Register(client);
    }

    static void OnGroup(AvahiEntryGroup* g, AvahiEntryGroupState state, void* data) {
        auto* self = static_cast<Avahi*>(data);
        self->group = g;
        if (state == AVAHI_ENTRY_GROUP_COLLISION) {
            self->Rename();
        } else if (state == AVAHI_ENTRY_GROUP_FAILURE) {
            self->SayOnce(Failure("ネットワークへの告知ができません",
                                  avahi_client_errno(avahi_entry_group_get_client(g))));
        }
    }

    static void OnClient(AvahiClient* c, AvahiClientState state, void* data) {
        auto* self = static_cast<Avahi*>(data);
        self->client = c;
        if (state == AVAHI_CLIENT_S_RUNNING) {
            self->fWaitSaid = false;
            self->Register(c);
        } else if (state == AVAHI_CLIENT_CONNECTING) {
            // No daemon yet, or it has gone: the client waits for it, and the announcement is
            // made anew (in a new entry group) once it runs.
            self->group = nullptr;
            if (!self->fWaitSaid) {
                self->fWaitSaid = true;
                ServerLog::Say(
                    "Avahi が動いていないため、ネットワークへの告知は Avahi "
                    "が動き出してからにします");
            }
        } else if (state == AVAHI_CLIENT_S_COLLISION || state == AVAHI_CLIENT_S_REGISTERING) {
            // The host's own name is being settled: announce again once it has been.
            if (self->group != nullptr) {
                avahi_entry_group_reset(self->group);
            }
        } else if (state == AVAHI_CLIENT_FAILURE &&
                   avahi_client_errno(c) == AVAHI_ERR_DISCONNECTED) {
            self->Reconnect();
        } else if (state == AVAHI_CLIENT_FAILURE) {
            self->SayOnce(Failure("Avahi との接続に失敗したため、ネットワークへの告知を止めました",
                                  avahi_client_errno(c)));
        }
    }

    // The daemon has gone (restarted, upgraded): a new client waits for it to come back.
    void Reconnect() {
        avahi_client_free(client);
        group = nullptr;
        int error = 0;
        client = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL,
                                  &Avahi::OnClient, this, &error);
        if (client == nullptr) {
            SayOnce(Failure("Avahi に接続できないため、ネットワークへの告知を止めました", error));
        }
    }
};

ServiceAnnouncement::Service ServiceAnnouncement::Service::Instrument(const std::string& serial,
                                                                      const std::string& version,
                                                                      std::uint16_t port) {
    return {"SELKORAN " + serial,
            port,
            {"Manufacturer=SELKORAN", "Model=SELKORAN Board", "SerialNumber=" + serial,
             "FirmwareVersion=" + version}};
}

ServiceAnnouncement::ServiceAnnouncement() = default;

ServiceAnnouncement::~ServiceAnnouncement() = default;

bool ServiceAnnouncement::Start(Service service) {
    avahi = std::make_unique<Avahi>();
    avahi->service = std::move(service);
    avahi->poll = avahi_threaded_poll_new();
    int error = 0;
    if (avahi->poll != nullptr) {
        avahi->client = avahi_client_new(avahi_threaded_poll_get(avahi->poll), AVAHI_CLIENT_NO_FAIL,
                                         &Avahi::OnClient, avahi.get(), &error);
    }
    if (avahi->client == nullptr || avahi_threaded_poll_start(avahi->poll) < 0) {
        ServerLog::Say(
            Avahi::Failure("Avahi に接続できないため、ネットワークへの告知はしません", error));
        avahi.reset();
        return false;
    }
    return true;
}
