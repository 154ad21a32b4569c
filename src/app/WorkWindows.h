#pragma once
// The work windows of the multi-window analysis and the search, opened from the main menu. A
// build without them reports false and opens nothing.
namespace vantrel {

bool HasMultiWindowAnalysis();
bool HasSimilarImageSearch();
void OpenMultiWindowAnalysis();
void OpenSimilarImageSearch();

} // namespace vantrel
