#pragma once
// Word tables the market's names are built from. Every piece of a fund name
// carries its pinyin initials, so the initials of a generated name are
// exact (polyphones such as 长城 or 行业 are spelled per word).
#include <cstddef>

namespace fw::sample {

struct NamePiece {
    const char* text;
    const char* initials;
};

struct PieceList {
    const NamePiece* items;
    size_t size;
};

PieceList companyPieces();
PieceList activeThemePieces();   // equity, mixed and stock funds
PieceList balancedThemePieces();
PieceList cautiousThemePieces(); // mixed funds that lean on bonds
PieceList bondThemePieces();
PieceList shortBondThemePieces();
PieceList mixedBondThemePieces();
PieceList indexThemePieces();
PieceList overseasThemePieces();

struct SectorSeed {
    const char* name;
    const char* code; // "BK0474", "BK0045", "BK000651": text, leading zeros kept
};
const SectorSeed* sectorSeeds(size_t& count);

struct StockSeed {
    int market;
    const char* code;
    const char* name;
};
const StockSeed* wellKnownStocks(size_t& count);
const char* const* stockNameHeads(size_t& count);
const char* const* stockNameTails(size_t& count);

const char* const* surnames(size_t& count);
const char* const* givenNames(size_t& count);
const char* const* custodians(size_t& count);

} // namespace fw::sample
