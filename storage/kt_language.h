#pragma once

#include "storage/kt_wlanguage.h"

// The main window's language component "lang": english.lng, german.lng, french.lng.
class TktLanguage : public TktWLanguage {
    Q_OBJECT

public:
    using TktWLanguage::TktWLanguage;
};
