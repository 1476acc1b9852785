// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/SystemErrorText.h"

#include <cerrno>

namespace {

// Files and folders.
const char* FileText(int errnoValue) {
    switch (errnoValue) {
        case ENOENT:
            return "ファイルまたはフォルダがありません";
        case ENOTDIR:
            return "途中の名前がフォルダではありません";
        case EISDIR:
            return "フォルダです";
        case EACCES:
        case EPERM:
            return "アクセスが許可されていません";
        case EROFS:
            return "読み取り専用のファイルシステムです";
        case ENOSPC:
        case EDQUOT:
            return "ディスクがいっぱいです";
        case EFBIG:
            return "ファイルが大きすぎます";
        case ELOOP:
            return "シンボリックリンクが循環しています";
        case ENAMETOOLONG:
            return "名前が長すぎます";
        case EEXIST:
            return "すでにあります";
        case ENOTEMPTY:
            return "フォルダが空ではありません";
        case EXDEV:
            return "別のファイルシステムへは移せません";
        case ETXTBSY:
            return "実行中のファイルです";
        case EIO:
            return "入出力エラーです";
        case ESTALE:
            return "ネットワークのファイルが無効になりました";
        default:
            return nullptr;
    }
}

// Devices, descriptors and the system's resources.
const char* DeviceText(int errnoValue) {
    switch (errnoValue) {
        case ENXIO:
        case ENODEV:
            return "デバイスがありません";
        case EBUSY:
            return "使用中です";
        case ENOTTY:
            return "この操作ができないデバイスです";
        case EBADF:
            return "ファイル記述子が正しくありません";
        case EMFILE:
        case ENFILE:
            return "開いているファイルが多すぎます";
        case ENOMEM:
        case ENOBUFS:
            return "メモリが足りません";
        case EINVAL:
            return "引数が正しくありません";
        case EAGAIN:
            return "一時的に使えません";
        case EINTR:
            return "シグナルで中断されました";
        case ENOSYS:
        case EOPNOTSUPP:
            return "この操作には対応していません";
        default:
            return nullptr;
    }
}

// Sockets and the network.
const char* NetworkText(int errnoValue) {
    switch (errnoValue) {
        case EADDRINUSE:
            return "アドレスはすでに使用中です";
        case EADDRNOTAVAIL:
            return "このアドレスはこのコンピューターにありません";
        case EAFNOSUPPORT:
            return "このアドレスの種類には対応していません";
        case ECONNREFUSED:
            return "接続を拒否されました";
        case ECONNRESET:
            return "相手が接続を切りました";
        case ECONNABORTED:
            return "接続が中断されました";
        case EPIPE:
            return "相手が接続を閉じました";
        case ENOTCONN:
            return "接続していません";
        case ETIMEDOUT:
            return "時間内に応答がありません";
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return "ホストに届きません";
        case ENETUNREACH:
        case ENETDOWN:
            return "ネットワークに届きません";
        case EPROTO:
            return "通信の手順が正しくありません";
        default:
            return nullptr;
    }
}

}  // namespace

std::string SystemErrorText(int errnoValue) {
    for (const auto text : {FileText, DeviceText, NetworkText}) {
        if (const char* found = text(errnoValue); found != nullptr) {
            return found;
        }
    }
    return "システムエラー（errno 番号 " + std::to_string(errnoValue) + "）";
}
