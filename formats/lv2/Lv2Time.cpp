#include "Lv2Time.h"

#include <lv2/time/time.h>

#include <iterator>
#include <utility>

namespace {

// The numbers a time:Position may hold, and which of them it held.
struct Position {
    enum : unsigned {
        kSpeed = 1,
        kTempo = 2,
        kBeat = 4,
        kBar = 8,
        kBarBeat = 16,
        kBeatsPerBar = 32,
        kBeatUnit = 64,
        kFrame = 128
    };
    unsigned present = 0;
    double speed = 0.0, tempo = 0.0, beat = 0.0, bar = 0.0, barBeat = 0.0, beatsPerBar = 0.0, beatUnit = 4.0,
           frame = 0.0;
};

HostTime hostTimeOf(const Position& p) noexcept {
    HostTime time;
    time.playing = (p.present & Position::kSpeed) != 0 && p.speed != 0.0;
    time.hasTempo = (p.present & Position::kTempo) != 0;
    time.tempo = p.tempo;
    time.hasFrame = (p.present & Position::kFrame) != 0;
    time.frame = p.frame;
    const double quartersPerBeat = p.beatUnit > 0.0 ? 4.0 / p.beatUnit : 1.0;
    constexpr unsigned kBarPosition = Position::kBar | Position::kBarBeat | Position::kBeatsPerBar;
    if ((p.present & Position::kBeat) != 0) {
        time.hasPosition = true;
        time.beats = p.beat * quartersPerBeat;
    } else if ((p.present & kBarPosition) == kBarPosition) {
        time.hasPosition = true;
        time.beats = (p.bar * p.beatsPerBar + p.barBeat) * quartersPerBeat;
    }
    return time;
}

}  // namespace

Lv2Time::Lv2Time(const LV2_URID_Map* map) noexcept {
    if (map == nullptr || map->map == nullptr) return;
    const auto id = [map](const char* uri) { return map->map(map->handle, uri); };
    urids = {id(LV2_ATOM__Sequence), id(LV2_ATOM__frameTime), id(LV2_ATOM__Object),         id(LV2_ATOM__Blank),
             id(LV2_TIME__Position), id(LV2_ATOM__Int),       id(LV2_ATOM__Long),           id(LV2_ATOM__Float),
             id(LV2_ATOM__Double),   id(LV2_TIME__speed),     id(LV2_TIME__beatsPerMinute), id(LV2_TIME__beat),
             id(LV2_TIME__bar),      id(LV2_TIME__barBeat),   id(LV2_TIME__beatsPerBar),    id(LV2_TIME__beatUnit),
             id(LV2_TIME__frame)};
    mapped = true;
}

bool Lv2Time::numberOf(const LV2_Atom& value, const std::uint8_t* body, double& number) const noexcept {
    const auto read = [&](auto typed) {
        if (value.size < sizeof(typed)) return false;
        std::memcpy(&typed, body, sizeof(typed));
        number = double(typed);
        return true;
    };
    if (value.type == urids.doubleType) return read(double{});
    if (value.type == urids.floatType) return read(float{});
    if (value.type == urids.longType) return read(std::int64_t{});
    if (value.type == urids.intType) return read(std::int32_t{});
    return false;
}

bool Lv2Time::positionOf(const std::uint8_t* atom, HostTime& time) const noexcept {
    LV2_Atom header;
    LV2_Atom_Object_Body object;
    std::memcpy(&header, atom, sizeof(header));
    if ((header.type != urids.object && header.type != urids.blank) || header.size < sizeof(object)) return false;
    std::memcpy(&object, atom + sizeof(header), sizeof(object));
    if (object.otype != urids.position) return false;
    const std::uint8_t* body = atom + sizeof(header);
    const std::pair<LV2_URID, unsigned> keys[] = {
        {urids.speed, Position::kSpeed},       {urids.beatsPerMinute, Position::kTempo},
        {urids.beat, Position::kBeat},         {urids.bar, Position::kBar},
        {urids.barBeat, Position::kBarBeat},   {urids.beatsPerBar, Position::kBeatsPerBar},
        {urids.beatUnit, Position::kBeatUnit}, {urids.frame, Position::kFrame}};
    Position position;
    double* fields[] = {&position.speed,   &position.tempo,       &position.beat,     &position.bar,
                        &position.barBeat, &position.beatsPerBar, &position.beatUnit, &position.frame};
    for (std::uint32_t at = sizeof(object); at + sizeof(LV2_Atom_Property_Body) <= header.size;) {
        LV2_Atom_Property_Body property;
        std::memcpy(&property, body + at, sizeof(property));
        const std::uint32_t end = at + std::uint32_t(sizeof(property)) + property.value.size;
        if (end > header.size || end < at) break;
        for (std::size_t k = 0; k < std::size(keys); ++k) {
            if (property.key == keys[k].first && numberOf(property.value, body + at + sizeof(property), *fields[k])) {
                position.present |= keys[k].second;
            }
        }
        at = end + ((8 - end % 8) % 8);
    }
    time = hostTimeOf(position);
    return true;
}
