#include "sdr/SdrSettings.h"

#include <algorithm>

bool AddKeyValues(KeyValues& to, const std::string& text)
{
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string pair = text.substr(start, comma - start);
        const std::size_t eq = pair.find('=');
        if (eq == std::string::npos || eq == 0) return false;
        to.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
        start = comma + 1;
    }
    return true;
}
