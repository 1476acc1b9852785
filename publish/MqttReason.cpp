// SPDX-License-Identifier: GPL-3.0-or-later
#include "publish/MqttReason.h"

#include <mosquitto.h>

#include <cerrno>

#include "common/SystemErrorText.h"

namespace {

// The results a connection or a publication meets.
const char* ConnectionText(int rc) {
    switch (rc) {
        case MOSQ_ERR_NO_CONN:
            return "ブローカーに接続していません";
        case MOSQ_ERR_CONN_REFUSED:
            return "ブローカーが接続を拒否しました";
        case MOSQ_ERR_CONN_LOST:
            return "ブローカーが接続を閉じました";
        case MOSQ_ERR_KEEPALIVE:
            return "ブローカーの応答がありません";
        case MOSQ_ERR_TIMEOUT:
            return "時間内に応答がありません";
        case MOSQ_ERR_EAI:
        case MOSQ_ERR_LOOKUP:
            return "ホスト名が見つかりません";
        case MOSQ_ERR_PROXY:
            return "プロキシに接続できません";
        case MOSQ_ERR_TLS:
        case MOSQ_ERR_TLS_HANDSHAKE:
        case MOSQ_ERR_OCSP:
            return "TLS の接続に失敗しました";
        case MOSQ_ERR_AUTH:
            return "認証に失敗しました";
        case MOSQ_ERR_ACL_DENIED:
            return "このトピックへの送信が許可されていません";
        case MOSQ_ERR_ADMINISTRATIVE_ACTION:
            return "ブローカーの管理者が接続を切りました";
        default:
            return nullptr;
    }
}

// The results of a message or of the client itself.
const char* ClientText(int rc) {
    switch (rc) {
        case MOSQ_ERR_NOMEM:
            return "メモリが足りません";
        case MOSQ_ERR_PROTOCOL:
        case MOSQ_ERR_MALFORMED_PACKET:
        case MOSQ_ERR_DUPLICATE_PROPERTY:
        case MOSQ_ERR_MALFORMED_UTF8:
            return "ブローカーとの通信の手順が正しくありません";
        case MOSQ_ERR_INVAL:
            return "接続の設定が正しくありません";
        case MOSQ_ERR_PAYLOAD_SIZE:
        case MOSQ_ERR_OVERSIZE_PACKET:
            return "メッセージが大きすぎます";
        case MOSQ_ERR_NOT_SUPPORTED:
        case MOSQ_ERR_QOS_NOT_SUPPORTED:
        case MOSQ_ERR_RETAIN_NOT_SUPPORTED:
            return "ブローカーがこの機能に対応していません";
        default:
            return nullptr;
    }
}

}  // namespace

namespace MqttReason {

std::string Refusal(int connackCode) {
    switch (connackCode) {
        case 1:
            return "ブローカーがプロトコルの版を受け付けませんでした";
        case 2:
            return "ブローカーがクライアント ID を受け付けませんでした";
        case 3:
            return "ブローカーが利用できません";
        case 4:
            return "ユーザー名かパスワードが正しくありません";
        case 5:
            return "ログインを拒否されました（ユーザー名かパスワードが正しくないか、許可がありませ"
                   "ん）";
        default:
            return "ブローカーが接続を拒否しました（応答コード " + std::to_string(connackCode) +
                   "）";
    }
}

std::string System(int errnoValue) {
    switch (errnoValue) {
        case ECONNREFUSED:
            return "接続を拒否されました（ブローカーが動いていないか、ポート番号が違います）";
        case ECONNRESET:
        case EPIPE:
            return "ブローカーが接続を閉じました";
        default:
            return SystemErrorText(errnoValue);
    }
}

std::string Library(int rc, int errnoValue) {
    if (rc == MOSQ_ERR_ERRNO) {
        return System(errnoValue);
    }
    for (const auto text : {ConnectionText, ClientText}) {
        if (const char* found = text(rc); found != nullptr) {
            return found;
        }
    }
    return "MQTT ライブラリのエラー（番号 " + std::to_string(rc) + "）";
}

}  // namespace MqttReason
