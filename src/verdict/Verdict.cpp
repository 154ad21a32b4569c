#include "verdict/Verdict.h"

#include "blind/BlindFile.h"
#include "blind/BlindReport.h"
#include "extract/BitStream.h"
#include "extract/JstegLayouts.h"
#include "extract/PayloadScan.h"
#include "image/EnumText.h"
#include "jpeg/JpegReport.h"
#include "passwords/PasswordCovers.h"
#include "passwords/PasswordTool.h"
#include "passwords/WordListAttack.h"
#include "steghide/SteghideAttack.h"
#include "steghide/SteghideInput.h"
#include "structure/CarvedFiles.h"
#include "verdict/FileInputs.h"
#include "verdict/VerdictReport.h"

#include <FreeImage.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <streambuf>

namespace vantrel::verdict {
namespace {

// ---- The adapters: each analysis's result as evidence. When a detector reports its own
// DetectorState, "flagged" and threshold, only its adapter changes.

std::vector<Evidence> PixelEvidence(const BlindResult& result) {
    std::vector<Evidence> evidence;
    for (const ChannelResult& channel : result.channels) {
        const auto add = [&](const char* attack, double figure, const Judgement& judgement) {
            Evidence e{"pixels",
                       channel.name + " " + attack,
                       figure,
                       judgement.threshold,
                       judgement.state,
                       judgement.flagged,
                       false,
                       "",
                       ""};
            e.why = e.flagged ? std::string(attack) + " reaches its threshold" : "";
            evidence.push_back(std::move(e));
        };
        add("chi_square", channel.chiSquare.p, channel.chiSquare.judgement);
        add("rs", channel.rs.rate, channel.rs.judgement);
        add("spa", channel.spa.rate, channel.spa.judgement);
        add("ws", channel.ws.rate, channel.ws.judgement);
        add("top_rows", channel.top.rate, channel.top.judgement);
        add("top_chi_square", channel.topChiSquare.p, channel.topChiSquare.judgement);
    }
    const Judgement& transparent = result.transparentLsb.judgement;
    evidence.push_back(
        {"pixels", "transparent_lsb", result.transparentLsb.changes, transparent.threshold,
         transparent.state, transparent.flagged, false, "",
         transparent.flagged ? "the LSBs under the transparent pixels flip at random" : ""});
    return evidence;
}

std::vector<Evidence> JpegEvidence(const JpegAnalysis& analysis, const JpegVerdict& verdict) {
    std::vector<Evidence> evidence(2);
    Evidence& jsteg = evidence[0];
    jsteg.analysis = "jpeg";
    jsteg.detector = "jsteg";
    jsteg.figure = verdict.jstegFraction;
    jsteg.threshold = kJstegSuspiciousFraction;
    jsteg.state = verdict.jstegState;
    jsteg.flagged = verdict.jstegSuspicious && jsteg.state.ok();
    jsteg.tool = jsteg.flagged ? "JSteg" : "";
    jsteg.why = "the share of coefficient pairs JSteg would have equalised";
    Evidence& f5 = evidence[1];
    f5.analysis = "jpeg";
    f5.detector = "f5";
    f5.threshold = kF5SuspiciousBeta;
    f5.state = verdict.f5State;
    if (analysis.f5.valid) {
        f5.figure = verdict.f5LeastModeBeta;
    }
    f5.flagged = verdict.f5Suspicious && f5.state.ok();
    f5.tool = f5.flagged ? "F5" : "";
    f5.why = "the share of changed coefficients calibration reads, at its least mode";
    return evidence;
}

// The tools whose framing the payload finder reads by name.
std::string ToolOfFinding(const extract::Finding& finding) {
    for (const char* tool : {"steggy", "stegano", "stepic"}) {
        if (finding.kind == tool) {
            return tool;
        }
    }
    return finding.layout.starts_with("jsteg") ? "JSteg" : "";
}

// A found finding proved by a structure or checksum is a finding, one found on statistics alone
// makes the file suspicious; a weak one is listed but does not count: the low bits of ordinary
// pictures fit weak rules too often.
std::vector<Evidence> PayloadEvidence(const extract::ScanResult& result) {
    std::vector<Evidence> evidence;
    for (const extract::Finding& f : result.findings) {
        if (f.tier == extract::Tier::Raw) {
            continue;
        }
        // Proof is a structure or a checksum read through; bytes that merely look random after a
        // length (statistics alone) are what ordinary low bits give too often to be a finding.
        const bool claimed = f.tier == extract::Tier::Found;
        const bool found = claimed && f.strength >= extract::Strength::Structure;
        evidence.push_back({"payloads", f.layout + " " + f.kind, static_cast<double>(f.length),
                            std::nullopt, DetectorState::Ok(), claimed, found,
                            claimed ? ToolOfFinding(f) : "",
                            std::string(extract::TierText(f.tier)) + ": " + f.what});
    }
    if (evidence.empty()) {
        evidence.push_back({"payloads", "layouts", static_cast<double>(result.walk.size()),
                            std::nullopt, DetectorState::Ok(), false, false, "",
                            "no layout reads as a payload"});
    }
    return evidence;
}

// "ZIP", "PNG", ... for a file format; prose stays "text".
std::string FormatName(std::string type) {
    if (type != "text") {
        std::transform(type.begin(), type.end(), type.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    }
    return type;
}

std::vector<Evidence> StructureEvidence(const structure::FileStructure& s) {
    std::vector<Evidence> evidence;
    for (const structure::Anomaly& anomaly : s.anomalies) {
        evidence.push_back({"structure", structure::AnomalyText(anomaly.kind),
                            static_cast<double>(anomaly.length), std::nullopt, DetectorState::Ok(),
                            true, false, "", anomaly.reason});
    }
    for (const structure::Carved& carved : s.carved) {
        if (carved.type == "data") {
            continue; // bytes no check recognises: the anomaly already says they are there
        }
        const structure::AnomalyKind kind = carved.from < s.anomalies.size()
                                                ? s.anomalies[carved.from].kind
                                                : structure::AnomalyKind::EmbeddedFile;
        const bool appended = kind == structure::AnomalyKind::DataAfterEnd;
        // A camera's own thumbnail that no longer matches its picture is carved so it can be
        // looked at, but it is the file's part, not a payload: the anomaly already flags it.
        const bool payload = kind != structure::AnomalyKind::ThumbnailMismatch;
        evidence.push_back(
            {"structure", "carved " + carved.type, static_cast<double>(carved.length), std::nullopt,
             DetectorState::Ok(), true, payload,
             payload ? (appended ? "appended " : "embedded ") + FormatName(carved.type) : "",
             carved.what});
    }
    if (evidence.empty()) {
        evidence.push_back({"structure", "container", std::nullopt, std::nullopt,
                            DetectorState::Ok(), false, false, "",
                            "every part is where its format puts it"});
    }
    return evidence;
}

std::vector<Evidence> PasswordEvidence(const passwords::PasswordAttackResult& result,
                                       const std::string& tool) {
    std::vector<Evidence> evidence;
    for (const passwords::PasswordHit& hit : result.hits) {
        // A header that merely fits turns up by chance for a few words of any list on any cover
        // (half of the clean JPEGs tried had one), so a candidate is listed for the analyst to
        // try but neither flags the file nor names the tool: only a proof does.
        evidence.push_back({tool, "password", std::nullopt, std::nullopt, DetectorState::Ok(),
                            hit.verified, hit.verified, hit.verified ? hit.tool : "",
                            (hit.verified ? "password \"" : hit.tool + " candidate password \"") +
                                hit.password + "\": " + hit.proof});
    }
    if (evidence.empty()) {
        evidence.push_back({tool, "password", static_cast<double>(result.tried), std::nullopt,
                            DetectorState::Ok(), false, false, "", "none of the words opens it"});
    }
    return evidence;
}

// ---- The analyses.

struct Context {
    const std::string& path;
    const FileInputs& inputs;
    const Options& options;
};

AnalysisPart FailedPart(const char* name, const std::string& why) {
    return {name,
            JsonObject().add("error", why).str(),
            "error: " + why,
            {{name, name, std::nullopt, std::nullopt, DetectorState::Failed(why), false, false, "",
              why}},
            {}};
}

AnalysisPart RunStructure(const Context& c) {
    if (!c.inputs.structure) {
        return FailedPart("structure", c.inputs.structure.error());
    }
    const structure::FileStructure& s = *c.inputs.structure;
    AnalysisPart part{"structure",
                      structure::StructureJson(s, c.path),
                      StructureCsvCells(s),
                      StructureEvidence(s),
                      {}};
    // The carved bytes are copied out of the file only when they are to be saved.
    for (const structure::Carved& carved :
         c.options.saveDirectory.empty() ? std::vector<structure::Carved>{} : s.carved) {
        if (carved.type == "data") {
            continue;
        }
        Result<std::vector<std::uint8_t>> bytes = structure::CarvedBytes(c.path, carved);
        if (bytes) {
            part.payloads.push_back({"carved-" + std::to_string(carved.offset) + "." + carved.type,
                                     std::move(bytes).value()});
        }
    }
    return part;
}

// A VP8 (not VP8L) chunk anywhere in the walk: the pixels went through a lossy codec.
bool IsLossyWebp(const FileInputs& inputs) {
    if (!inputs.structure || inputs.structure->format != "webp") {
        return false;
    }
    std::vector<const structure::Part*> pending;
    for (const structure::Part& part : inputs.structure->parts) {
        pending.push_back(&part);
    }
    while (!pending.empty()) {
        const structure::Part* part = pending.back();
        pending.pop_back();
        if (part->kind == "chunk" && part->name == "VP8 ") {
            return true;
        }
        for (const structure::Part& child : part->children) {
            pending.push_back(&child);
        }
    }
    return false;
}

AnalysisPart RunPixels(const Context& c) {
    const FIBITMAP* bitmap = c.inputs.pixels->get();
    BitmapHandle standard;
    if (ViewOfBitmap(bitmap).empty()) {
        standard = ToStandardBitmap(CloneBitmap(bitmap));
        bitmap = standard.get();
    }
    BlindOptions blind;
    blind.cancel = c.options.cancel;
    Result<BlindResult> result = AnalyseBitmap(ViewOfBitmap(bitmap), blind);
    if (!result) {
        return FailedPart("pixels", result.error());
    }
    if (IsLossyWebp(c.inputs)) {
        JudgeNotApplicable(*result, "a lossy WebP: its pixels are the codec's output, not stored "
                                    "samples whose LSBs a tool could set");
    }
    return {
        "pixels", BlindJson(c.path, *result), BlindCsvCells(*result), PixelEvidence(*result), {}};
}

AnalysisPart RunJpeg(const Context& c) {
    const Result<JpegCoefficients>& jpeg = *c.inputs.coefficients;
    if (!jpeg) {
        return FailedPart("jpeg", jpeg.error());
    }
    const Result<BlindResult> result = AnalyseJpegCoefficients(jpeg);
    const JpegBlindResult& j = *result->jpeg;
    return {"jpeg",
            JpegReportJson(c.path, *jpeg, j.analysis, j.verdict),
            BlindCsvCells(*result),
            JpegEvidence(j.analysis, j.verdict),
            {}};
}

AnalysisPart RunPayloads(const Context& c) {
    const Result<extract::SampleImage> samples = extract::SampleImage::Of(c.inputs.pixels->get());
    if (!samples) {
        return FailedPart("payloads", samples.error());
    }
    extract::ScanResult result = extract::ScanImage(*samples);
    if (c.inputs.isJpeg() && *c.inputs.coefficients) {
        extract::AddJstegFindings(result, **c.inputs.coefficients);
    }
    AnalysisPart part{"payloads", PayloadScanJson(result), "", PayloadEvidence(result), {}};
    int rank = 0;
    for (extract::Finding& f : result.findings) {
        if (f.tier == extract::Tier::Found) {
            char name[16];
            std::snprintf(name, sizeof name, "%02d-", ++rank);
            part.payloads.push_back({name + f.kind + ".bin", std::move(f.payload)});
        }
    }
    return part;
}

// The word list read in place: every file's attack streams the one copy the run holds.
struct HeldWords : std::streambuf {
    explicit HeldWords(const std::string& words) {
        char* start = const_cast<char*>(words.data()); // only ever read
        setg(start, start, start + words.size());
    }
};

Result<SteghideCover> SteghideCoverOf(const Context& c) {
    const SteghideFileHead& head = *c.inputs.steghideHead;
    if (head.kind == SteghideFileKind::Jpeg) {
        if (!c.inputs.isJpeg() || !*c.inputs.coefficients) {
            return Failure(c.inputs.isJpeg() ? c.inputs.coefficients->error() : "no coefficients");
        }
        return SteghideJpegCover(**c.inputs.coefficients);
    }
    const Result<BmpPixelData> pixels = SteghideBmpPixels(c.inputs.pixels->get());
    if (!pixels || pixels->bitsPerPixel != head.bmpBits) {
        return Failure(!pixels ? pixels.error() : "the BMP's pixels came back converted");
    }
    return SteghideBmpCover(*pixels);
}

// steghide's word-list attack in the password tools' shape, so that every tool's hits read alike.
AnalysisPart RunSteghide(const Context& c) {
    const Result<SteghideCover> cover = SteghideCoverOf(c);
    if (!cover) {
        return FailedPart("steghide", cover.error());
    }
    HeldWords held(*c.options.words);
    std::istream list(&held);
    SteghideWordListOptions options;
    options.fileName = c.path;
    options.cancel = c.options.cancel;
    const SteghideWordListResult found = SteghideWordListAttack(*cover, &list, options);
    passwords::PasswordAttackResult result;
    result.tried = found.tried;
    result.seconds = found.seconds;
    AnalysisPart part{"steghide", "", "", {}, {}};
    for (const SteghidePassphraseHit& hit : found.hits) {
        passwords::PasswordHit shown{"steghide", hit.passphrase, false, "", {}, ""};
        if (hit.payload) {
            shown.verified = hit.payload->checksumOk;
            shown.proof = hit.payload->hasChecksum ? "its CRC-32 matches" : "it inflates";
            shown.payload = hit.payload->data;
            shown.name = hit.payload->name;
        } else {
            shown.proof = hit.unreadable;
        }
        if (shown.verified) {
            part.payloads.push_back(
                {shown.name.empty() ? "steghide.bin" : shown.name, shown.payload});
        }
        result.hits.push_back(std::move(shown));
    }
    part.json = PasswordsJson(result);
    part.csv = PasswordsCsvCell(result);
    part.evidence = PasswordEvidence(result, "steghide");
    return part;
}

// The other password tools through their own readers. Their covers (a GIF's colour table, the
// pixels of outguess's PNM embedding) come in decoder requests of their own: only a run with a
// word list pays for them.
AnalysisPart RunPasswordTools(const Context& c) {
    static const std::vector<std::string> kTools = {"outguess", "f5stegojs", "stegosuite",
                                                    "gifshuffle"};
    const Result<passwords::FileTools> tools = passwords::LoadPasswordTools(c.path, kTools);
    if (!tools) {
        return FailedPart("passwords", tools.error());
    }
    std::vector<const passwords::PasswordTool*> driven;
    for (const std::unique_ptr<passwords::PasswordTool>& tool : tools->tools) {
        driven.push_back(tool.get());
    }
    HeldWords held(*c.options.words);
    std::istream list(&held);
    passwords::PasswordAttackOptions options;
    options.fileName = c.path;
    options.cancel = c.options.cancel;
    const passwords::PasswordAttackResult result =
        passwords::WordListAttack(driven, &list, options);
    AnalysisPart part{"passwords",
                      PasswordsJson(result),
                      PasswordsCsvCell(result),
                      PasswordEvidence(result, "passwords"),
                      {}};
    for (const passwords::PasswordHit& hit : result.hits) {
        if (hit.verified) {
            part.payloads.push_back({hit.name.empty() ? hit.tool + ".bin" : hit.name, hit.payload});
        }
    }
    return part;
}

DetectorState Always(const Context&) {
    return DetectorState::Ok();
}
DetectorState NeedsPixels(const Context& c) {
    return c.inputs.pixels ? DetectorState::Ok() : DetectorState::Failed(c.inputs.pixels.error());
}
DetectorState NotJpeg(const Context& c) {
    return c.inputs.isJpeg() ? DetectorState::NotApplicable("a JPEG: its coefficients are judged")
                             : NeedsPixels(c);
}
DetectorState IsJpeg(const Context& c) {
    return c.inputs.isJpeg() ? DetectorState::Ok() : DetectorState::NotApplicable("not a JPEG");
}
DetectorState HasWords(const Context& c) {
    return c.options.words == nullptr ? DetectorState::NotApplicable("no word list")
                                      : DetectorState::Ok();
}
DetectorState SteghideCover(const Context& c) {
    if (c.options.words == nullptr) {
        return DetectorState::NotApplicable("no word list");
    }
    if (!c.inputs.steghideHead) {
        return DetectorState::NotApplicable(c.inputs.steghideHead.error());
    }
    return c.inputs.steghideHead->kind == SteghideFileKind::Bmp ? NeedsPixels(c)
                                                                : DetectorState::Ok();
}

// The analyses, in the order their objects appear. A new analysis joins with one row; a password
// tool's row takes the word list (options.words) and reports its hits as passwords::PasswordHit.
struct AnalysisEntry {
    const char* name;
    DetectorState (*applies)(const Context&);
    AnalysisPart (*run)(const Context&);
};

constexpr AnalysisEntry kAnalyses[] = {
    {"structure", Always, RunStructure},
    {"pixels", NotJpeg, RunPixels},
    {"jpeg", IsJpeg, RunJpeg},
    {"payloads", NeedsPixels, RunPayloads},
    {"steghide", SteghideCover, RunSteghide},
    {"passwords", HasWords, RunPasswordTools},
};

void AddThumbnail(const FIBITMAP* pixels, int side, FileRecord& record) {
    BitmapHandle small =
        FitLongSide(pixels, std::min(side, std::max(BitmapWidth(pixels), BitmapHeight(pixels))));
    if (small && FreeImage_GetBPP(small.get()) != 24) {
        small.reset(FreeImage_ConvertTo24Bits(small.get()));
    }
    FIMEMORY* memory = small ? FreeImage_OpenMemory() : nullptr;
    if (memory == nullptr) {
        return;
    }
    BYTE* data = nullptr;
    DWORD size = 0;
    if (FreeImage_SaveToMemory(FIF_JPEG, small.get(), memory, 85) &&
        FreeImage_AcquireMemory(memory, &data, &size)) {
        record.thumbnail.assign(data, data + size);
    }
    FreeImage_CloseMemory(memory);
}

std::string BaseName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

void SavePayloads(FileRecord& record, const std::string& directory) {
    std::error_code code;
    std::filesystem::create_directories(directory, code);
    for (const AnalysisPart& part : record.parts) {
        for (const Payload& payload : part.payloads) {
            if (payload.bytes.empty()) {
                continue;
            }
            const std::string path =
                (std::filesystem::path(directory) /
                 (BaseName(record.file) + "." + part.name + "-" + payload.name))
                    .string();
            std::ofstream out(path, std::ios::binary);
            out.write(reinterpret_cast<const char*>(payload.bytes.data()),
                      static_cast<std::streamsize>(payload.bytes.size()));
            if (out.flush()) {
                record.saved.push_back(path);
            }
        }
    }
}

void Judge(FileRecord& record) {
    std::set<std::string> seen;
    for (AnalysisPart& part : record.parts) {
        for (Evidence& e : part.evidence) {
            if (e.found) {
                record.verdict = Verdict::Found;
            } else if (e.flagged && record.verdict == Verdict::Clean) {
                record.verdict = Verdict::Suspicious;
            }
            record.evidence.push_back(e);
        }
    }
    std::stable_sort(
        record.evidence.begin(), record.evidence.end(),
        [](const Evidence& a, const Evidence& b) { return EvidenceRank(a) < EvidenceRank(b); });
    // The tools of what was proved; only when nothing was, those the flagged detectors point to.
    for (const Evidence& e : record.evidence) {
        const bool named = record.verdict == Verdict::Found ? e.found : e.flagged;
        if (!e.tool.empty() && named && seen.insert(e.tool).second) {
            record.tools.push_back(e.tool);
        }
    }
}

} // namespace

const char* VerdictName(Verdict verdict) {
    static constexpr const char* kTexts[] = {"clean", "suspicious", "found"};
    return EnumText<Verdict::Found>(verdict, kTexts, Verdict::Clean);
}

int EvidenceRank(const Evidence& e) {
    return e.found ? 0 : e.flagged ? 1 : e.state.ok() ? 2 : 3;
}

std::vector<std::string> AnalysisNames() {
    std::vector<std::string> names;
    for (const AnalysisEntry& entry : kAnalyses) {
        names.emplace_back(entry.name);
    }
    return names;
}

FileRecord AnalyseFile(const std::string& path, const Options& options) {
    const auto start = std::chrono::steady_clock::now();
    FileRecord record;
    record.file = path;
    // Reading the decoder's reply back is parallel work too, kept to the file's share of cores.
    const auto load = [&path] { return LoadFileInputs(path); };
    const Result<FileInputs> inputs =
        options.threads > 0 ? tbb::task_arena(options.threads).execute(load) : load();
    if (!inputs) {
        record.error = inputs.error();
        return record;
    }
    if (inputs->structure) {
        record.format = inputs->structure->format;
    }
    if (inputs->pixels) {
        record.width = BitmapWidth(inputs->pixels->get());
        record.height = BitmapHeight(inputs->pixels->get());
    }
    const bool coefficientsRead = inputs->isJpeg() && *inputs->coefficients;
    if (!inputs->pixels && !coefficientsRead) {
        record.error = inputs->pixels.error();
    }
    const Context context{path, *inputs, options};
    std::vector<AnalysisPart> parts(std::size(kAnalyses));
    const auto runAll = [&] {
        tbb::task_group group;
        for (std::size_t i = 0; i < std::size(kAnalyses); ++i) {
            const AnalysisEntry& entry = kAnalyses[i];
            const DetectorState state = entry.applies(context);
            if (!state.ok()) {
                JsonObject json;
                parts[i] = {entry.name,
                            AddState(json, state).str(),
                            "",
                            {{entry.name, entry.name, std::nullopt, std::nullopt, state, false,
                              false, "", state.reason}},
                            {}};
                continue;
            }
            group.run([&parts, &context, &entry, i] { parts[i] = entry.run(context); });
        }
        group.wait();
    };
    if (options.threads > 0) {
        tbb::task_arena(options.threads).execute(runAll);
    } else {
        runAll();
    }
    record.parts = std::move(parts);
    Judge(record);
    if (options.thumbnailSide > 0 && inputs->pixels) {
        AddThumbnail(inputs->pixels->get(), options.thumbnailSide, record);
    }
    if (!options.saveDirectory.empty()) {
        SavePayloads(record, options.saveDirectory);
    }
    record.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return record;
}

} // namespace vantrel::verdict
