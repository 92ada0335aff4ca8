#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

namespace platform {

// Remembers how each UTF-16 unit of the Basic Multilingual Plane encodes in a code page of one or
// two bytes a character, so that the system's converter is asked once per unit, not per
// character of a page. Each port's encoder keeps one and gives it its own converter.
class CodePageUnitCache {
public:
    // Appends the unit's bytes to `out`; false, appending nothing, where the code page has no
    // such character. `convert(unit, bytes)` asks the system, once per unit.
    template <typename Convert> bool Append(char16_t unit, QByteArray& out, Convert&& convert) {
        if (m_slots.empty()) {
            m_slots.assign(0x10000, 0);
        }
        // 0: not asked yet; 1: no such character; else 0x10000 and the one or two bytes.
        uint32_t& slot = m_slots[unit];
        if (slot == 0) {
            QByteArray bytes;
            if (!convert(unit, bytes) || bytes.isEmpty() || bytes.size() > 2) {
                slot = 1;
            } else if (bytes.size() == 1) {
                slot = 0x10000 | static_cast<uint8_t>(bytes[0]);
            } else {
                slot = 0x10000 | (static_cast<uint32_t>(static_cast<uint8_t>(bytes[0])) << 8) |
                       static_cast<uint8_t>(bytes[1]);
            }
        }
        if (slot == 1) {
            return false;
        }
        const uint32_t value = slot & 0xFFFF;
        if (value > 0xFF) {
            out.append(static_cast<char>(value >> 8));
        }
        out.append(static_cast<char>(value & 0xFF));
        return true;
    }

private:
    std::vector<uint32_t> m_slots;
};

} // namespace platform
