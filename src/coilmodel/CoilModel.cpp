#include "coilmodel/CoilModel.h"

#include <array>
#include <cmath>
#include <iterator>

namespace {

// 220 Hz times (2^(1/12))^(key - 57) for keys 0..135 (127 shifted up by 8),
// each the double that the expression gives with the C library of Debian 12.
// Written out because the platforms' pow differ in the last bit, and the
// analysis must print the same digits on every platform.
constexpr double kKeyFrequencies[] = {
    0x1.05a0250c2b94bp+3, 0x1.152ec0e758e63p+3, 0x1.25aa2e3af0b15p+3, 0x1.3720820155757p+3,
    0x1.49a0a791e126ep+3, 0x1.5d3a6d600caafp+3, 0x1.71fe927ca0ddbp+3, 0x1.87fed4e47adf1p+3,
    0x1.9f4e00a91d07fp+3, 0x1.b7ffffffffff1p+3, 0x1.d229ec465c891p+3, 0x1.ede22007f7909p+3,
    0x1.05a0250c2b94dp+4, 0x1.152ec0e758e66p+4, 0x1.25aa2e3af0b17p+4, 0x1.372082015575ap+4,
    0x1.49a0a791e1271p+4, 0x1.5d3a6d600cab1p+4, 0x1.71fe927ca0ddep+4, 0x1.87fed4e47adf4p+4,
    0x1.9f4e00a91d082p+4, 0x1.b7ffffffffff4p+4, 0x1.d229ec465c896p+4, 0x1.ede22007f790cp+4,
    0x1.05a0250c2b95p+5, 0x1.152ec0e758e69p+5, 0x1.25aa2e3af0b1ap+5, 0x1.372082015575cp+5,
    0x1.49a0a791e1274p+5, 0x1.5d3a6d600cab5p+5, 0x1.71fe927ca0de2p+5, 0x1.87fed4e47adf8p+5,
    0x1.9f4e00a91d087p+5, 0x1.b7ffffffffff8p+5, 0x1.d229ec465c89ap+5, 0x1.ede22007f7911p+5,
    0x1.05a0250c2b952p+6, 0x1.152ec0e758e6bp+6, 0x1.25aa2e3af0b1cp+6, 0x1.372082015576p+6,
    0x1.49a0a791e1277p+6, 0x1.5d3a6d600cab8p+6, 0x1.71fe927ca0de5p+6, 0x1.87fed4e47adfbp+6,
    0x1.9f4e00a91d08ap+6, 0x1.b7ffffffffffcp+6, 0x1.d229ec465c89fp+6, 0x1.ede22007f7917p+6,
    0x1.05a0250c2b954p+7, 0x1.152ec0e758e6ep+7, 0x1.25aa2e3af0b1fp+7, 0x1.3720820155762p+7,
    0x1.49a0a791e127ap+7, 0x1.5d3a6d600cabbp+7, 0x1.71fe927ca0de8p+7, 0x1.87fed4e47adffp+7,
    0x1.9f4e00a91d08ep+7, 0x1.b8p+7, 0x1.d229ec465c8a2p+7, 0x1.ede22007f791ap+7,
    0x1.05a0250c2b957p+8, 0x1.152ec0e758e7p+8, 0x1.25aa2e3af0b22p+8, 0x1.3720820155765p+8,
    0x1.49a0a791e127dp+8, 0x1.5d3a6d600cabep+8, 0x1.71fe927ca0debp+8, 0x1.87fed4e47ae03p+8,
    0x1.9f4e00a91d092p+8, 0x1.b800000000003p+8, 0x1.d229ec465c8a6p+8, 0x1.ede22007f791fp+8,
    0x1.05a0250c2b959p+9, 0x1.152ec0e758e73p+9, 0x1.25aa2e3af0b24p+9, 0x1.3720820155768p+9,
    0x1.49a0a791e128p+9, 0x1.5d3a6d600cac2p+9, 0x1.71fe927ca0defp+9, 0x1.87fed4e47ae06p+9,
    0x1.9f4e00a91d095p+9, 0x1.b800000000009p+9, 0x1.d229ec465c8abp+9, 0x1.ede22007f7923p+9,
    0x1.05a0250c2b95bp+10, 0x1.152ec0e758e75p+10, 0x1.25aa2e3af0b27p+10, 0x1.372082015576bp+10,
    0x1.49a0a791e1283p+10, 0x1.5d3a6d600cac4p+10, 0x1.71fe927ca0df2p+10, 0x1.87fed4e47ae0ap+10,
    0x1.9f4e00a91d099p+10, 0x1.b80000000000cp+10, 0x1.d229ec465c8aep+10, 0x1.ede22007f7928p+10,
    0x1.05a0250c2b95ep+11, 0x1.152ec0e758e78p+11, 0x1.25aa2e3af0b2ap+11, 0x1.372082015576ep+11,
    0x1.49a0a791e1286p+11, 0x1.5d3a6d600cac8p+11, 0x1.71fe927ca0df6p+11, 0x1.87fed4e47ae0dp+11,
    0x1.9f4e00a91d09dp+11, 0x1.b80000000000fp+11, 0x1.d229ec465c8b3p+11, 0x1.ede22007f792dp+11,
    0x1.05a0250c2b96p+12, 0x1.152ec0e758e7ap+12, 0x1.25aa2e3af0b2dp+12, 0x1.372082015577p+12,
    0x1.49a0a791e1289p+12, 0x1.5d3a6d600cacbp+12, 0x1.71fe927ca0df9p+12, 0x1.87fed4e47ae1p+12,
    0x1.9f4e00a91d0ap+12, 0x1.b800000000015p+12, 0x1.d229ec465c8b7p+12, 0x1.ede22007f793p+12,
    0x1.05a0250c2b963p+13, 0x1.152ec0e758e7cp+13, 0x1.25aa2e3af0b2fp+13, 0x1.3720820155774p+13,
    0x1.49a0a791e128cp+13, 0x1.5d3a6d600cacep+13, 0x1.71fe927ca0dfcp+13, 0x1.87fed4e47ae14p+13,
    0x1.9f4e00a91d0a5p+13, 0x1.b800000000018p+13, 0x1.d229ec465c8bcp+13, 0x1.ede22007f7936p+13,
    0x1.05a0250c2b965p+14, 0x1.152ec0e758e7fp+14, 0x1.25aa2e3af0b32p+14, 0x1.3720820155776p+14,
};

}  // namespace

double keyFrequency(std::int32_t key)
{
    constexpr auto kKeys = static_cast<std::int32_t>(std::size(kKeyFrequencies));
    if (key >= 0 && key < kKeys) {
        return kKeyFrequencies[key];
    }
    return 220.0 * std::pow(std::pow(2.0, 1.0 / 12.0), static_cast<double>(key - 57));
}

std::string keyName(std::int32_t key)
{
    static constexpr std::array<const char*, 12> kNames{"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    return std::string(kNames[static_cast<std::size_t>(key % 12)]) + std::to_string(key / 12 - 1);
}

double noteDuty(std::int32_t key, std::int32_t velocity)
{
    if (key == 0 && velocity == 0) {
        return 0.0;
    }
    const double period = 1000000.0 / keyFrequency(key);
    double onTime = period / 16.0;
    if (onTime > 100.0) {
        onTime = 100.0;
    }
    return (static_cast<double>(velocity) / 128.0) * onTime / period;
}

void TwoVoiceTracker::noteOn(std::int32_t key, std::int32_t velocity)
{
    if (!m_keys.admits(key)) {
        return;
    }
    const Voice note{key, velocity};
    if (m_first.silent() && m_second.silent()) {
        m_first = note;
    } else if (m_second.silent()) {
        m_second = note;
    } else {
        // Both busy, or only the newer: the note held longest is dropped.
        m_first = m_second;
        m_second = note;
    }
}

void TwoVoiceTracker::noteOff(std::int32_t key)
{
    if (m_first.holds(key)) {
        m_first = Voice{};
    } else if (m_second.holds(key)) {
        m_second = Voice{};
    }
}

double TwoVoiceTracker::dutyAfter(std::int32_t key, std::int32_t velocity) const
{
    TwoVoiceTracker after = *this;
    after.noteOn(key, velocity);
    return after.duty();
}
