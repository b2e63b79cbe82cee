#pragma once

#include "widgets/product_version.h"

#include <QString>

// The product's own texts and addresses, shown by the splash window and the About dialog.
// The web and mail addresses are the maker's; change them here only.
namespace product {
inline const QString kTitle = QStringLiteral("frameLock PRO");
// The Slaves' status reports carry this text; their Master shows it as it comes.
inline const QString kTitleWithVersion = QStringLiteral("frameLock PRO " FL_PRODUCT_VERSION);
// Doubled ampersand: the label shows one.
inline const QString kLinkLine = QStringLiteral("LAN TCP/IP && COM");
inline const QString kSubtitle = QStringLiteral("AVI, WAV, MP3, DV Video and Audio Synchronizer");
inline const QString kWebAddress = QStringLiteral("www.framelock.example");
inline const QString kSupportMail = QStringLiteral("support@framelock.example");
// What a new hyperlink label points at until its owner sets a target.
inline const QString kPlaceholderWebPage = QStringLiteral("https://www.example.com");
}  // namespace product
