#pragma once

#include "checks/check_settings.h"

#include <span>
#include <string_view>

namespace kalvo {

// One adjustable setting of the checks: its key (kalvo-poll's --tolerance NAME, the
// configuration file's Check<key>), what the Settings dialog calls it, its unit and the
// field it sets.
struct CheckSettingField {
    const char* Key;
    const char* Label;
    const char* Unit;
    int Decimals;
    double CheckSettings::*Field;

    static std::span<const CheckSettingField> All();
    // The field of `key`; nullptr when there is none.
    static const CheckSettingField* Find(std::string_view key);
};

} // namespace kalvo
