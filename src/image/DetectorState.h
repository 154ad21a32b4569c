#pragma once
// Whether a detector's figure may be read as an answer about the file. A detector that cannot
// judge an image (too few usable samples, a quality where its model breaks down, a format it does
// not read) says so with a reason instead of giving a figure that looks like evidence; a failure
// is the detector's own (the file could not be read for it). The same three states reach the JSON
// ("state", "reason") and the windows (one line), so a reader never has to guess from a zero.
#include "image/Json.h"

#include <string>

namespace vantrel {

struct DetectorState {
    enum class Kind { Ok, NotApplicable, Failed };
    Kind kind = Kind::Ok;
    std::string reason; // empty when Ok

    static DetectorState Ok() { return {}; }
    static DetectorState NotApplicable(std::string why) {
        return {Kind::NotApplicable, std::move(why)};
    }
    static DetectorState Failed(std::string why) { return {Kind::Failed, std::move(why)}; }
    bool ok() const { return kind == Kind::Ok; }
    friend bool operator==(const DetectorState&, const DetectorState&) = default;
};

// "ok", "not_applicable" or "failed".
inline const char* StateName(DetectorState::Kind kind) {
    switch (kind) {
    case DetectorState::Kind::NotApplicable:
        return "not_applicable";
    case DetectorState::Kind::Failed:
        return "failed";
    case DetectorState::Kind::Ok:
        break;
    }
    return "ok";
}

// A detector's figure judged where it holds: `state` says whether it applies (and why
// not), `flagged` whether it reached `threshold` there.
struct Judgement {
    DetectorState state = DetectorState::NotApplicable("not run");
    bool flagged = false;
    double threshold = 0;
};

// "state": "...", and "reason": "..." unless the state is ok.
inline JsonObject& AddState(JsonObject& object, const DetectorState& state) {
    object.add("state", StateName(state.kind));
    if (!state.ok()) {
        object.add("reason", state.reason);
    }
    return object;
}

// The window's line: empty when ok, else "not applicable: REASON" or "failed: REASON".
inline std::string StateLine(const DetectorState& state) {
    switch (state.kind) {
    case DetectorState::Kind::NotApplicable:
        return "not applicable: " + state.reason;
    case DetectorState::Kind::Failed:
        return "failed: " + state.reason;
    case DetectorState::Kind::Ok:
        break;
    }
    return {};
}

} // namespace vantrel
