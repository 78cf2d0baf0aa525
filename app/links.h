// The web addresses of the Help menu and the link labels, kept in one place.
#pragma once

namespace qm::links {

inline constexpr const char* kMakerSite = "https://www.quarlomet.example";
inline constexpr const char* kSalesSite = "https://shop.quarlomet.example";

inline constexpr const char* kManualPath = "/manual.php";
inline constexpr const char* kBuyPath = "/buy.php";

} // namespace qm::links
