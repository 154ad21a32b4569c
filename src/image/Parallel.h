#pragma once
// Row work spread over every core in fixed pieces. The pieces depend only on the number of rows
// and the piece size, never on how many threads run them, so results gathered piece by piece
// (and summed in piece order) are the same on one core as on many.
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cstddef>
#include <span>
#include <vector>

namespace vantrel {

// About this many bytes of rows make one piece: large enough that a piece outweighs handing it
// to a thread, small enough that two cores share a picture evenly.
inline constexpr std::size_t kBytesPerRowPiece = std::size_t{1} << 18;

// The rows of one piece when each row touches `bytesPerRow` bytes; at least one.
inline int RowsPerPiece(std::size_t bytesPerRow, std::size_t bytesPerPiece = kBytesPerRowPiece) {
    const std::size_t rows = bytesPerPiece / std::max<std::size_t>(bytesPerRow, 1);
    return static_cast<int>(std::clamp<std::size_t>(rows, 1, 1 << 16));
}

// The ends of the pieces [0, rowsPerPiece), [rowsPerPiece, ...) of rows [0, rows).
inline std::vector<int> RowPieceEnds(int rows, int rowsPerPiece) {
    std::vector<int> ends;
    rowsPerPiece = std::max(rowsPerPiece, 1);
    for (int end = 0; end < rows;) {
        end = rows - end > rowsPerPiece ? end + rowsPerPiece : rows;
        ends.push_back(end);
    }
    return ends;
}

// Calls body(firstRow, endRow, piece) for the pieces [0, ends[0]), [ends[0], ends[1]), ... on any
// threads, and returns when all are done.
template <typename Body> void ForEachPiece(std::span<const int> ends, const Body& body) {
    const auto run = [&](int piece) {
        const int first = piece == 0 ? 0 : ends[static_cast<std::size_t>(piece) - 1];
        body(first, ends[static_cast<std::size_t>(piece)], piece);
    };
    const int pieces = static_cast<int>(ends.size());
    if (pieces == 1) {
        run(0);
    } else if (pieces > 1) {
        tbb::parallel_for(0, pieces, run);
    }
}

// The same for the pieces of RowPieceEnds(rows, rowsPerPiece).
template <typename Body> void ForEachRowPiece(int rows, int rowsPerPiece, const Body& body) {
    ForEachPiece(RowPieceEnds(rows, rowsPerPiece), body);
}

// The same, keeping what body returns for each piece, in piece order.
template <typename Result, typename Body>
std::vector<Result> MapPieces(std::span<const int> ends, const Body& body) {
    std::vector<Result> results(ends.size());
    ForEachPiece(ends, [&](int first, int end, int piece) {
        results[static_cast<std::size_t>(piece)] = body(first, end);
    });
    return results;
}

template <typename Result, typename Body>
std::vector<Result> MapRowPieces(int rows, int rowsPerPiece, const Body& body) {
    return MapPieces<Result>(RowPieceEnds(rows, rowsPerPiece), body);
}

} // namespace vantrel
