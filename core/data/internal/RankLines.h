// The perfect hash's rank lines as lookups read them: the rank of a position in its line, the
// single-key lookup, and the batched lookup's pass over one level, written once for every lookup
// kernel. Private to the data library. Everything here is always inlined, so that a kernel compiled
// for wider instructions (LookupKernelAvx2.cpp) has it as its own code, its population count
// included.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/base/BitMath.h"
#include "core/base/Compiler.h"
#include "core/data/Hash.h"
#include "core/data/PerfectHash.h"

namespace Quorvin::DataPrivate {

/// Bitmap bits per rank line (see PerfectHashRankLine), and bitmap words.
inline constexpr uint32_t LineBits = 384;
inline constexpr uint32_t LineWords = LineBits / 64;

/// The set bits of a word as the baseline counts them (CountBits).
struct PortableCount {
    static QUORVIN_FORCEINLINE uint64_t Of(uint64_t x) { return CountBits(x); }
};

/// Where a position's bit lies: its rank line, and the bit within that line.
struct LineBit {
    const PerfectHashRankLine* line;
    uint32_t within;  // below LineBits
};

/// Position p of a level as its line and bit there.
QUORVIN_FORCEINLINE LineBit LineBitAt(const LevelView& level, uint32_t p) {
    const uint32_t lineIndex = p / LineBits;
    return LineBit{level.lines + lineIndex, p - lineIndex * LineBits};
}

/// 1 when the bit is set, 0 otherwise.
QUORVIN_FORCEINLINE uint64_t BitValue(LineBit at) {
    return (at.line->words[at.within >> 6] >> (at.within & 63)) & 1;
}

/// A bit: whether it is set, and the number of set bits of its level before it (its rank when
/// set).
struct LineRank {
    uint64_t rank;
    bool set;
};

/// The rank of a bit; `Count` counts the bits of a word (PortableCount, or the processor's
/// instruction in a kernel that may use it). Without branches: whether a bit is set follows no
/// pattern that a predictor could learn.
template <class Count>
QUORVIN_FORCEINLINE LineRank RankOf(LineBit at) {
    const PerfectHashRankLine& line = *at.line;
    const uint32_t word = at.within >> 6;
    const uint32_t bit = at.within & 63;
    const uint64_t bits = line.words[word];
    // Shifted up by 9, the counts before words 1 to 5 sit at 9 w, and word 0 finds 0 at the bottom.
    const uint64_t before = ((line.wordRanks << 9) >> (9 * word)) & 0x1FF;
    return LineRank{line.rankBefore + before + Count::Of(bits & ((uint64_t{1} << bit) - 1)),
                    ((bits >> bit) & 1) != 0};
}

/// The key's bitmap position at a level.
QUORVIN_FORCEINLINE uint32_t PositionAt(const LevelView& level, uint64_t key) {
    return static_cast<uint32_t>(level.divisor.Remainder(HashWithSeed(key, level.seed)));
}

/// A key's answer at a level where its bit is set: NotFound when the level marks more keys than
/// it says it places and the rank is past them.
QUORVIN_FORCEINLINE uint64_t AnswerAt(const LevelView& level, uint64_t rank) {
    return rank < level.keyCount ? level.offset + rank : PerfectHash::NotFound;
}

/// The single-key lookup's levels from the third on, for the keys that neither of the first two
/// places (`count` at least 3): a level at a time, each level's line requested before the previous
/// one is read.
template <class Count>
QUORVIN_FORCEINLINE uint64_t LookupFromThirdLevel(const LevelView* levels, size_t count, uint64_t key) {
    LineBit at = LineBitAt(levels[2], PositionAt(levels[2], key));
    for (size_t i = 2; i < count; ++i) {
        LineBit next = at;  // kept after the last level
        if (i + 1 < count) {
            next = LineBitAt(levels[i + 1], PositionAt(levels[i + 1], key));
            QUORVIN_PREFETCH_READ(next.line);
        }
        const LineRank rank = RankOf<Count>(at);
        if (rank.set) return AnswerAt(levels[i], rank.rank);
        at = next;
    }
    return PerfectHash::NotFound;
}

/// A kernel's LookupFromThirdLevel, compiled out of line: with the loop kept apart, the path of the
/// keys that the first two levels place (five in six at gamma 2) needs no callee-saved register, and
/// so saves and restores none.
using LookupTail = uint64_t (*)(const LevelView* levels, size_t count, uint64_t key);

/// The single-key lookup over the `count` levels at `levels` (at least one), as PerfectHash::Lookup
/// describes it. Of the first two levels, the first that sets the key's bit answers; the keys that
/// neither places go on in `Tail`.
template <class Count, LookupTail Tail>
QUORVIN_FORCEINLINE uint64_t LookupKey(const LevelView* levels, size_t count, uint64_t key) {
    const LevelView& first = levels[0];
    const LineBit at0 = LineBitAt(first, PositionAt(first, key));
    if (count == 1) {
        const LineRank rank = RankOf<Count>(at0);
        return rank.set ? AnswerAt(first, rank.rank) : PerfectHash::NotFound;
    }
    const LevelView& second = levels[1];
    const LineBit at1 = LineBitAt(second, PositionAt(second, key));
    uint64_t set0 = BitValue(at0);
    uint64_t set1 = BitValue(at1);
    QUORVIN_COMPUTE_HERE(set0);
    QUORVIN_COMPUTE_HERE(set1);
    if ((set0 | set1) == 0) return count == 2 ? PerfectHash::NotFound : Tail(levels, count, key);
    // Both lines are read by now, and only the level that answers is counted: selected with masks
    // rather than a branch, on a bit that follows no pattern.
    const uint64_t takeFirst = 0 - set0;  // all ones when the first level places the key
    const auto pick = [takeFirst](uint64_t ifFirst, uint64_t ifSecond) {
        return ifSecond ^ ((ifFirst ^ ifSecond) & takeFirst);
    };
    const LineBit at{reinterpret_cast<const PerfectHashRankLine*>(
                         pick(reinterpret_cast<uintptr_t>(at0.line), reinterpret_cast<uintptr_t>(at1.line))),
                     static_cast<uint32_t>(pick(at0.within, at1.within))};
    const LevelView& answering = levels[1 - set0];
    return AnswerAt(answering, RankOf<Count>(at).rank);
}

/// The batched lookup requests a key's line this many keys before it reads it.
inline constexpr size_t LookAhead = 16;

/// One pass of the batched lookup at one level, over the keys at positions list[0 .. count - 1] of
/// `keys` (without a list: the first `count` keys). Writes the answer of every key to `answers` at
/// the same position (NotFound for the keys the level does not place) and the positions of the
/// keys left for later levels to `left`, and returns how many those are. Written without branches
/// on the answers; each key's line is requested LookAhead keys before it is read.
template <class Count, bool Listed>
QUORVIN_FORCEINLINE size_t ResolveLevelOf(const LevelView& level, const uint64_t* keys, const uint32_t* list,
                                          size_t count, uint64_t* answers, uint32_t* left) {
    // The requested keys' bits, kept as two arrays: a ring of LineBit pairs makes the loop slower.
    const PerfectHashRankLine* aheadLine[LookAhead];
    uint32_t aheadWithin[LookAhead];
    const auto request = [&](size_t item) {
        const LineBit at = LineBitAt(level, PositionAt(level, keys[Listed ? list[item] : item]));
        aheadLine[item % LookAhead] = at.line;
        aheadWithin[item % LookAhead] = at.within;
        QUORVIN_PREFETCH_READ(at.line);
    };
    for (size_t item = 0; item < count && item < LookAhead; ++item) request(item);
    size_t leftCount = 0;
    for (size_t item = 0; item < count; ++item) {
        const LineRank rank =
            RankOf<Count>(LineBit{aheadLine[item % LookAhead], aheadWithin[item % LookAhead]});
        if (item + LookAhead < count) request(item + LookAhead);
        // Both outcomes are computed on every path (see QUORVIN_COMPUTE_HERE), and a key's answer
        // and its place among the keys left are written whether it is placed or not: the answer of
        // a key left is overwritten by a later level, and its place by the next key.
        uint64_t set = rank.set ? 1 : 0;
        uint64_t found = level.offset + rank.rank;
        QUORVIN_COMPUTE_HERE(set);
        QUORVIN_COMPUTE_HERE(found);
        const uint64_t placed = set & (rank.rank < level.keyCount ? 1 : 0);
        const uint32_t index = Listed ? list[item] : static_cast<uint32_t>(item);
        answers[index] = found | (placed - 1);
        left[leftCount] = index;
        leftCount += 1 - set;
    }
    return leftCount;
}

template <class Count>
QUORVIN_FORCEINLINE size_t ResolveLevel(const LevelView& level, const uint64_t* keys, const uint32_t* list,
                                        size_t count, uint64_t* answers, uint32_t* left) {
    return list != nullptr ? ResolveLevelOf<Count, true>(level, keys, list, count, answers, left)
                           : ResolveLevelOf<Count, false>(level, keys, list, count, answers, left);
}

}  // namespace Quorvin::DataPrivate
