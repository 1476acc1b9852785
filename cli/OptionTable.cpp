// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/OptionTable.h"

#include <QStringList>
#include <algorithm>

namespace {

constexpr const char* kBoardRuns = "measure record monitor";

const OptionTable::Row kRows[] = {
    {"device", true, "info measure record serve monitor", "--device D",
     "usb:番号（既定は usb:0）、usb:serial=シリアル番号、sim、\n"
     "sim:キー=値,...（下記）、tty:パス"},
    {"device", true, "info", "--device usb:list",
     "FTDI の USB デバイスを一覧表示します（番号、シリアル番号、製品名）"},
    {"rate", true, kBoardRuns, "--rate SPS",
     "1 秒あたりのデータ数。下記のフィルタのレートのうち\n"
     "1 % 以内で最も近いものを選びます（--filter の前後どちらでも可）"},
    {"rate", true, "analyze", "--rate SPS",
     "データのサンプルレート。CSV の表の # 行のレートに\n"
     "優先し、レートの行がない表には必要です"},
    {"filter", true, kBoardRuns, "--filter", "sinc5：Sinc5+Sinc1（既定）、sinc3：Sinc3"},
    {"channel", true, kBoardRuns, "--channel", "0 は CH0、1 は CH1、2 または both は両チャンネル"},
    {"channel", true, "analyze", "--channel",
     "解析するチャンネル 0 か 1（既定：データのあるすべて）"},
    {"count", true, "measure", "--count N",
     "データ数：100、200、500、1000、2000、5000、10000（既定 1000）"},
    {"count", true, "record", "--count N",
     "データ数：1 から 1048575 まで（一回の開始コマンドで測れる数）"},
    {"duration", true, "record monitor", "--duration",
     "測定する時間（90s、45m、2h、1h30m、7d など）"},
    {"interval", true, "monitor", "--interval", "統計の間隔（10s、1m、0.5s など）"},
    {"output", true, "measure", "--output", "DTA ファイル"},
    {"output", true, "record", "--output",
     "CSV か HDF5 のファイル（拡張子 .h5 か .hdf5 なら HDF5）"},
    {"force", false, "measure record monitor convert", "--force",
     "既存のファイルを上書きします\n"
     "（ないときは測定の前に断ります）"},
    {"format", true, "record", "--format", "ファイルの種類（csv か h5）。拡張子より優先します"},
    {"compress", false, "record convert", "--compress",
     "HDF5 のファイルを圧縮します（shuffle と gzip）"},
    {"timeout", true, "record", "--timeout S", "S 秒データが届かなければ記録を終えます"},
    {"csv", true, "measure show", "--csv",
     "# 行（ボード、設定、サンプルレート、データ数、開始時刻）のあとに\n"
     "データ番号、AD変換値、電圧値[uV] の CSV ファイル"},
    {"csv", true, "monitor", "--csv", "区間ごとの統計の CSV ファイル"},
    {"append", false, "monitor", "--append", "--csv の既存のファイルの続きに追記します"},
    {"png", true, "measure show", "--png", "グラフの画像"},
    {"volt", false, "measure show", "--volt", "統計とグラフを電圧値で表示します"},
    {"json", false, "measure record show analyze", "--json", "結果を JSON で表示します"},
    {"analyze", false, "measure record", "--analyze", "測定したデータのノイズも解析します"},
    {"histogram", true, "measure analyze", "--histogram PNG",
     "ヒストグラムの画像（解析のグラフは 800 x 500、--channel の\n"
     "チャンネルか最初のチャンネル）"},
    {"spectrum", true, "measure analyze", "--spectrum PNG", "ノイズスペクトル密度の画像"},
    {"allan", true, "measure analyze", "--allan PNG", "アラン偏差の画像"},
    {"dynamic", false, "measure analyze", "--dynamic",
     "正弦波を入力したときの特性（SNR、THD、SINAD、SFDR、ENOB、\n"
     "高調波、正弦波フィット）も表示します（先頭の 1048576 データまで）"},
    {"fft", true, "measure analyze", "--fft PNG",
     "FFT のパワースペクトル（dBFS）の画像。--dynamic の特性も表示します"},
    {"nplc", true, "measure", "--nplc N",
     "データ数の代わりに読み値を数え、読み値ごとに電源周期 N 個（0.02 から\n"
     "100）分のデータを平均します（--rate がなければ 31250）"},
    {"line", true, "measure serve", "--line 50|60", "電源周波数（Hz、既定 50）"},
    {"null", true, "measure monitor", "--null V",
     "電圧から引く値（V）。measure では読み値と統計に、monitor では\n"
     "--limit に使います"},
    {"scale", true, "measure monitor", "--scale GAIN[,OFFSET[,UNIT]]",
     "値を GAIN ×（電圧[V] − --null）+ OFFSET に換算し、単位 UNIT で\n"
     "表します（mV/V、°C、kg など）"},
    {"limit", true, "monitor", "--limit chN:LOW:HIGH",
     "区間の値が LOW から HIGH（V、--scale では換算後の単位）を\n"
     "外れたときと戻ったときに警報を出します\n"
     "（チャンネルごとに繰り返し指定できます）",
     true},
    {"limit-by", true, "monitor", "--limit-by mean|extremes",
     "--limit で比べる値：区間の平均値（既定）か最大値と最小値"},
    {"hysteresis", true, "monitor", "--hysteresis H",
     "範囲内に戻ったとみなすには境界から H 内側に入ることとします（既定 0）"},
    {"mqtt", true, "monitor", "--mqtt URL",
     "mqtt://ホスト[:ポート]/接頭辞 か mqtts://...（TLS）の\n"
     "ブローカーに、接頭辞/ID/status、meta、ch0/stats、ch1/stats（--limit では\n"
     "ch0/alarm、ch1/alarm も）を送ります"},
    {"mqtt-format", true, "monitor", "--mqtt-format json|influx",
     "統計のメッセージの形式（既定 json）"},
    {"id", true, "monitor", "--id NAME",
     "トピックのボード名（既定：ボードの USB シリアル番号かデバイス名）"},
    {"mqtt-ca", true, "monitor", "--mqtt-ca FILE", "ブローカーの証明書を検証する認証局の証明書"},
    {"mqtt-user", true, "monitor", "--mqtt-user NAME",
     "ブローカーのユーザー名。パスワードは --mqtt-password-file か\n"
     "環境変数 SELKORAN_MQTT_PASSWORD から読みます"},
    {"mqtt-password-file", true, "monitor", "--mqtt-password-file FILE",
     "パスワードを 1 行目に書いたファイル。所有者のほかに許可のある\n"
     "ファイル（chmod 600 にしてください）と空のファイルは断ります"},
    {"listen", true, "serve", "--listen ADDR",
     "待ち受けるアドレス（既定 127.0.0.1、0.0.0.0 か :: ですべて）"},
    {"port", true, "serve", "--port N", "ポート番号（既定 5025、0 は空いているポート）"},
    {"allow", true, "serve", "--allow LIST",
     "接続を受け付けるアドレスとネットワーク（既定：すべて）"},
    {"no-announce", false, "serve", "--no-announce", "Avahi で告知しません"},
    {"quiet", false, "serve", "--quiet", "接続と切断、ボードのエラーごとの行を出しません"},
    {"state-dir", true, "serve", "--state-dir DIR",
     "*SAV の設定を保存するフォルダ（既定 $XDG_STATE_HOME/selkoran\n"
     "か ~/.local/state/selkoran）"},
    {"http-port", true, "serve", "--http-port N",
     "ウェブページと /metrics のポート（既定：8080、0 で空いているポート）"},
    {"no-http", false, "serve", "--no-http", "ウェブページを出しません"},
    {"http-password-file", true, "serve", "--http-password-file FILE",
     "ページからの操作に要るパスワードのファイル\n"
     "（所有者だけが読めること）。ないときは\n"
     "このコンピューターのブラウザーだけが操作できます"},
    {nullptr, false, "measure", nullptr,
     "書き出すファイルをすべて、ボードに接続する前に確かめます"},
    {nullptr, false, "measure", nullptr,
     "Ctrl-C で測定を中止します（10 データ以上あれば結果を残して保存先を表示します）"},
    {nullptr, false, "record", nullptr,
     "Ctrl-C で記録を中止します（それまでのデータをすべてファイルに残します）"},
};

}  // namespace

namespace OptionTable {

std::span<const Row> Rows() {
    return kRows;
}

bool Serves(const Row& row, const QString& command) {
    return QString::fromLatin1(row.commands).split(' ').contains(command);
}

const Row* Find(const QString& name) {
    const auto* row = std::find_if(std::begin(kRows), std::end(kRows), [&name](const Row& r) {
        return r.name != nullptr && name == r.name;
    });
    return row == std::end(kRows) ? nullptr : row;
}

bool Takes(const QString& command, const QString& name) {
    return std::any_of(std::begin(kRows), std::end(kRows), [&](const Row& row) {
        return row.name != nullptr && name == row.name && Serves(row, command);
    });
}

}  // namespace OptionTable
