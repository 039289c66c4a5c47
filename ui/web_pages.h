#pragma once

#include <string>

namespace pavix {

// The maker's web host, where the help and download pages live.
inline constexpr char kWebHost[] = "pavix.example";
// The update server asked once per start whether a newer version exists.
inline constexpr char kUpdateServerName[] = "update.pavix.example";

// The help page: http://<web host>/pavix/faq.html
std::wstring HelpPageUrl();
// The download page, the same address the update balloon leads to:
// http://<web host>/pavix/ckvr.php?os=win&ver=500
std::wstring DownloadPageUrl();

}  // namespace pavix
