// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// Why the broker could not be reached or refused the monitor, in the operator's Japanese:
// the answers and failures a monitor meets have their own words, anything rarer is named by
// its number, never in libmosquitto's English.
namespace MqttReason {

// The broker's answer to the login, a CONNACK return code other than 0.
std::string Refusal(int connackCode);
// A socket that failed, with what the operator can check.
std::string System(int errnoValue);
// A libmosquitto result other than success; `errnoValue` tells MOSQ_ERR_ERRNO's cause.
std::string Library(int rc, int errnoValue);

}  // namespace MqttReason
