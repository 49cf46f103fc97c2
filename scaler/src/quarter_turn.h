// The quarter turn. Every rule about a pixel's corners is written once, for its
// bottom-right corner (turn 0), and serves the other three corners through a turn:
// the neighbourhood is read, the grade byte seen and the pattern cells written
// through the same rotation, so one turn number serves all three.
//
// The one rule is a quarter turn counter-clockwise on screen, (x, y) -> (y, -x) with
// y pointing down. The three mappings below apply it to offsets from the centre of
// what they turn: the 3 x 3 neighbourhood, the pixel's four corners, the S x S block.
#pragma once

#include "corner_grades.h"
#include "pass_namespace.h"

namespace tessera::inline TESSERA_PASS_NAMESPACE {

// Each turn is the previous one rotated a quarter counter-clockwise on screen.
enum QuarterTurn : int { BottomRight = 0, TopRight = 1, TopLeft = 2, BottomLeft = 3 };

// An offset on screen: x to the right, y downwards.
struct Offset {
    int x = 0;
    int y = 0;
};

constexpr Offset turned(Offset offset, QuarterTurn turn) {
    for (int i = 0; i < turn; ++i)
        offset = Offset{offset.y, -offset.x};
    return offset;
}

// The neighbourhood N(-1..1, -1..1) is stored row by row from N(-1, -1). The index of
// the cell that plays the part of N(dx, dy) under the turn.
constexpr int neighbourIndex(QuarterTurn turn, int dx, int dy) {
    const Offset cell = turned({dx, dy}, turn);
    return (cell.y + 1) * 3 + (cell.x + 1);
}

// The corner of the pixel whose grade field lies at `shift`, as an offset from the
// pixel's centre in half pixels.
constexpr Offset cornerAt(int shift) {
    switch (shift) {
    case topLeftShift:
        return {-1, -1};
    case topRightShift:
        return {1, -1};
    case bottomRightShift:
        return {1, 1};
    default:
        return {-1, 1};
    }
}

constexpr int shiftOf(Offset corner) {
    return corner.y < 0 ? (corner.x < 0 ? topLeftShift : topRightShift)
                        : (corner.x < 0 ? bottomLeftShift : bottomRightShift);
}

// The grade byte as the turn sees it: each field stands where the turn-0 rule looks
// for the corner the turn takes it to. Own corner in the bottom-right field, the next
// corner counter-clockwise (ahead) in the top-right field, the next clockwise (behind)
// in the bottom-left field.
//
// Every turn moves every field by the same number of bits, so the mapping is one
// rotation of the byte, its amount read off the rule and checked for every field.
template <QuarterTurn Turn>
constexpr int gradeRotation() {
    constexpr int amount = (bottomRightShift - shiftOf(turned(cornerAt(bottomRightShift), Turn)) + 8) % 8;
    for (const int shift : {topLeftShift, topRightShift, bottomLeftShift})
        if ((shift - shiftOf(turned(cornerAt(shift), Turn)) + 8) % 8 != amount)
            throw "a quarter turn moves every grade field alike";
    return amount;
}

// The byte is held in a full word, rotated within its low eight bits, so that loops over
// whole rows of pixels work in lanes of words rather than of bytes.
template <QuarterTurn Turn>
constexpr unsigned turnedGrades(unsigned grades) {
    constexpr int amount = gradeRotation<Turn>();
    return ((grades << amount) | (grades >> (8 - amount) % 8)) & 0xFFu;
}

// A cell of an S x S block: row downwards, column to the right, from its top-left.
struct BlockCell {
    int row = 0;
    int column = 0;
};

// The block cell that pattern cell `cell` of the turn-0 frame reaches under the turn,
// turned about the block's centre (measured in half cells, so that even factors have
// one too).
constexpr BlockCell turnedCell(int factor, QuarterTurn turn, BlockCell cell) {
    const Offset fromCentre = turned({2 * cell.column - (factor - 1), 2 * cell.row - (factor - 1)}, turn);
    return {(fromCentre.y + factor - 1) / 2, (fromCentre.x + factor - 1) / 2};
}

} // namespace tessera::inline TESSERA_PASS_NAMESPACE
