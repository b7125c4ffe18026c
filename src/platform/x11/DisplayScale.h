#pragma once
// How many device pixels make a point on an X desktop. X itself has no
// notion of scale; desktops publish it as GDK_SCALE (an integer factor set by
// the session) or as the Xft.dpi resource (fonts at 192 dpi mean 2x). Both
// are global: X cannot scale monitors differently.

#include <optional>
#include <string_view>

namespace tessarin::x11 {

// The largest factor a desktop is taken to mean; anything past it is a typo.
inline constexpr int kMaxScale = 8;
// The dots per inch of scale 1.
inline constexpr double kBaseDpi = 96;

// GDK_SCALE's value when it is what GTK accepts: a whole number, here from
// 1 to kMaxScale (spaces around it allowed).
std::optional<double> parseGdkScale(std::string_view text);

// The Xft.dpi value in an X resource database (the RESOURCE_MANAGER
// property of the root window) when it is positive and at most kMaxScale
// times kBaseDpi; the last valid line wins, as in the resource manager.
std::optional<double> parseXftDpi(std::string_view resources);

// GDK_SCALE when it is valid, else Xft.dpi / 96, else 1; never below 1.
double chooseScale(std::optional<std::string_view> gdkScale, std::optional<std::string_view> resources);

}  // namespace tessarin::x11
