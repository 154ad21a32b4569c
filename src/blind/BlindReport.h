#pragma once
// The words of a blind analysis: a readable table, one JSON object per image (JSON Lines), and a
// flat CSV row with one column per attack and channel.
#include "blind/BlindAttacks.h"
#include "blind/BlindFile.h"
#include "image/Json.h"
#include "jpeg/JpegReport.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vantrel {

// The object of one image on one line, without the line end. A non-empty error gives
// "error": the reason and no channels.
std::string BlindJson(const std::string& path, const BlindResult& result,
                      const std::string& error = {});

// A CSV field, quoted where it holds a comma, quote or line end.
std::string CsvField(std::string_view text);

// The CSV header and the row of one image, without line ends. Channel columns of a channel the
// image lacks (R, G, B for a grey image, Y for a colour one) are empty.
std::string BlindCsvHeader();
std::string BlindCsvRow(const std::string& path, const BlindResult& result,
                        const std::string& error = {});

// The rows a JPEG's blind analysis shows, label and value: the pixel attacks, not applicable,
// then the coefficient attacks and the verdict.
std::vector<std::pair<std::string, std::string>> JpegBlindRows(const JpegBlindResult& jpeg);

// A rate to four decimals, or the status's name when the method had no answer.
std::string RateCell(double value, AttackStatus status);
// RateCell, or "n/a" for an attack that does not apply to the channel.
std::string JudgedCell(double value, AttackStatus status, const Judgement& judgement);
// The line saying why an attack of the channel does not apply ("not applicable: ..."), the first
// such; empty when all four apply.
std::string ChannelStateLine(const ChannelResult& channel);

// Whether any of the channel's attacks can judge it.
bool ChannelApplies(const ChannelResult& channel);
// The image's verdict in words: "suspicious", "clean", or "not applicable: REASON" when no attack
// applies to any channel; a clean image with a channel no attack applies to says which and why
// after a "; ".
std::string BlindVerdictLine(const BlindResult& result);

// The attack x channel table, rates to 4 decimals, "suspicious", "clean" or "n/a" (no attack
// applies) per channel.
std::string BlindTable(const BlindResult& result);
// The readable block of one image: a line with the path, size and verdict, then the table.
std::string BlindText(const std::string& path, const BlindResult& result);

} // namespace vantrel
