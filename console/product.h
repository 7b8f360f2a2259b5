// The product's names: the banner shown in the console's title and label, sent in the
// "qorserver" cookie and in the mail agent text, and the application title.
//
// Constants; usable from any thread.
#pragma once

namespace qorsv {

inline constexpr char kProductBanner[] =
    "..::Torvane !::..0.9.8.1 - qorsv Build 220b - 17 May 2006";

inline constexpr char kApplicationTitle[] = "TorvaneServer!";

}  // namespace qorsv
