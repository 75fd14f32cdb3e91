#pragma once
// The phone book's one window font: Tahoma with the Arabic character set at
// height -11 (8 point at 96 dots per inch).
//
// Linux has no Tahoma of its own; Debian's fonts-wine ships a metric-
// compatible one that covers Arabic and Persian. InstallWindowFont() loads it
// into the application's font database; when the file is missing, "Tahoma"
// is substituted by DejaVu Sans, which covers the same scripts. Qt has no
// character sets: the Arabic one is expressed by the font covering the
// Arabic script, which both fonts do.
//
// Threads: GUI thread, after the application object exists.

#include <QFont>
#include <QString>

namespace telvora::app {

inline constexpr char kWindowFontFamily[] = "Tahoma";
inline constexpr char kFallbackFontFamily[] = "DejaVu Sans";
// The font height of the windows' definitions, in pixels (-11 there: the
// character height without internal leading).
inline constexpr int kWindowFontPixelSize = 11;
inline constexpr char kTahomaFile[] = "/usr/share/wine/fonts/tahoma.ttf";
inline constexpr char kTahomaBoldFile[] = "/usr/share/wine/fonts/tahomabd.ttf";

enum class TWindowFontSource { wfTahoma, wfSubstitute };

// Loads Tahoma from `regular_file` (and its bold face when present);
// substitutes the fallback family when the regular face cannot be loaded.
TWindowFontSource InstallWindowFont(const QString& regular_file = kTahomaFile,
                                    const QString& bold_file = kTahomaBoldFile);

// Tahoma, Arabic character set, height -11.
QFont WindowFont();

}  // namespace telvora::app
