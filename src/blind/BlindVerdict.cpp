// The verdict: where each attack applies, and whether its figure reaches its threshold.
#include "blind/BlindAttacks.h"

#include "image/EnumText.h"

#include <algorithm>
#include <string>

namespace vantrel {
namespace {

std::string Count(std::int64_t n) {
    return std::to_string(n);
}

// Why an attack that ran cannot judge, or empty when it can.
std::string Inapplicable(AttackStatus status, std::int64_t used, const char* what,
                         const ChannelResult& channel, const VerdictThresholds& thresholds) {
    if (channel.visible == 0) {
        return "every pixel is transparent";
    }
    if (channel.usable == 0) {
        return "no usable samples: the channel is flat or saturated everywhere";
    }
    if (channel.fewColours) {
        return "a palette image (at most " + Count(kMaxPaletteColours) +
               " colours): its samples are the palette's entries, not a sensor's noise";
    }
    if (channel.usable < thresholds.minUsableSamples) {
        // The figures first: a window's one line may cut the end off.
        return "too few usable samples: " + Count(channel.usable) + " of " +
               Count(channel.visible) + ", " + Count(thresholds.minUsableSamples) +
               " needed (flat, saturated and transparent areas set aside)";
    }
    if (double(channel.usable) < thresholds.minUsableShare * double(channel.visible)) {
        return "mostly flat or saturated (a drawing or a render): " + Count(channel.usable) +
               " of " + Count(channel.visible) + " samples usable, half needed";
    }
    if (status != AttackStatus::Ok || used == 0) {
        return std::string("no ") + what + " to test";
    }
    return {};
}

void Judge(Judgement& judgement, AttackStatus status, std::int64_t used, const char* what,
           double figure, double threshold, const ChannelResult& channel,
           const VerdictThresholds& thresholds) {
    const std::string why = Inapplicable(status, used, what, channel, thresholds);
    judgement.state = why.empty() ? DetectorState::Ok() : DetectorState::NotApplicable(why);
    judgement.threshold = threshold;
    judgement.flagged = why.empty() && figure >= threshold;
}

} // namespace

const char* StatusName(AttackStatus status) {
    static constexpr const char* kTexts[] = {"ok", "no_groups", "no_pairs", "too_small", "no_test"};
    return EnumText<AttackStatus::NoTest>(status, kTexts, AttackStatus::NoTest);
}

void JudgeChannel(ChannelResult& c, const VerdictThresholds& thresholds) {
    Judge(c.chiSquare.judgement, c.chiSquare.status, c.chiSquare.samples, "sample pairs",
          c.chiSquare.p, thresholds.chiSquareP, c, thresholds);
    if (c.chiSquare.judgement.state.ok() && c.chiSquare.shiftedP >= thresholds.maxShiftedP) {
        c.chiSquare.judgement.state = DetectorState::NotApplicable(
            "the histogram is even at every pairing, not only in LSB pairs (shifted p " +
            std::to_string(c.chiSquare.shiftedP).substr(0, 6) + ")");
        c.chiSquare.judgement.flagged = false;
    }
    Judge(c.rs.judgement, c.rs.status, c.rs.counts.groups, "groups of four", c.rs.rate,
          thresholds.rsRate, c, thresholds);
    Judge(c.spa.judgement, c.spa.status, c.spa.counts.pairs, "sample pairs", c.spa.rate,
          thresholds.spaRate, c, thresholds);
    Judge(c.ws.judgement, c.ws.status, c.ws.samples, "interior samples", c.ws.rate,
          thresholds.wsRate, c, thresholds);
    // The first rows are judged as a channel of their own, on the count of usable samples alone:
    // on the corpus the rates of mostly flat top rows spread no wider than those of busy ones.
    VerdictThresholds topThresholds = thresholds;
    topThresholds.minUsableShare = 0;
    ChannelResult top;
    top.fewColours = c.fewColours;
    top.visible = c.top.visible;
    top.usable = c.top.usable;
    Judge(c.top.judgement, c.top.rows > 0 ? AttackStatus::Ok : AttackStatus::NoGroups, c.top.rows,
          "rows", c.top.rate, thresholds.topRowsRate, top, topThresholds);
    TopChiSquareResult& first = c.topChiSquare;
    first.judgement.threshold = thresholds.topChiSquareP;
    first.judgement.state =
        c.fewColours ? c.ws.judgement.state
        : first.samples < kTopChiSquareSamples
            ? DetectorState::NotApplicable("fewer than " + Count(kTopChiSquareSamples) + " samples")
        : first.shiftedP >= thresholds.maxShiftedP
            ? DetectorState::NotApplicable("the first samples are even at every pairing")
            : DetectorState::Ok();
    first.judgement.flagged = first.judgement.state.ok() && first.p >= first.judgement.threshold;
    c.suspicious = FiguresFlagged(c).any();
}

bool JudgeChannelsTogether(std::vector<ChannelResult>& channels,
                           const VerdictThresholds& thresholds) {
    const bool together =
        channels.size() >= 3 && std::all_of(channels.begin(), channels.end(), [&](const auto& c) {
            return c.topChiSquare.judgement.state.ok() &&
                   c.topChiSquare.p >= thresholds.topChiSquareJointP;
        });
    bool suspicious = false;
    for (ChannelResult& c : channels) {
        if (together && !c.topChiSquare.judgement.flagged) {
            c.topChiSquare.judgement.flagged = true;
            c.topChiSquare.judgement.threshold = thresholds.topChiSquareJointP;
        }
        c.suspicious = FiguresFlagged(c).any();
        suspicious = suspicious || c.suspicious;
    }
    return suspicious;
}

void JudgeNotApplicable(BlindResult& result, const std::string& why) {
    for (ChannelResult& c : result.channels) {
        for (Judgement* judgement :
             {&c.chiSquare.judgement, &c.rs.judgement, &c.spa.judgement, &c.ws.judgement,
              &c.top.judgement, &c.topChiSquare.judgement}) {
            judgement->state = DetectorState::NotApplicable(why);
            judgement->flagged = false;
        }
        c.suspicious = false;
    }
    result.suspicious = false;
}

FiguresOver FiguresFlagged(const ChannelResult& channel) {
    return {channel.chiSquare.judgement.flagged, channel.rs.judgement.flagged,
            channel.spa.judgement.flagged,       channel.ws.judgement.flagged,
            channel.top.judgement.flagged,       channel.topChiSquare.judgement.flagged};
}

} // namespace vantrel
