#pragma once
// Floats in the general number format of the system's regional settings, as log lines show them:
// up to 15 significant digits, no trailing zeros, no digit grouping, a decimal comma, and
// exponent form ("1E20", "1,5E-6") only for very large or very small magnitudes.
#include <string>

namespace qdz::exchange {

std::string FormatGeneralFloat(double value);

}  // namespace qdz::exchange
