// Pieces of one output made on two threads and handed out in order: while this thread makes and
// hands out piece i, a second thread makes piece i + 1. With one thread the same pieces are made
// and handed out in the same order, all on this one.
#pragma once

#include "common/secondthread.h"

#include <cstddef>
#include <optional>

// make(worker, i, piece) fills piece with piece i; worker (0 or 1) says which of two makers, each
// used by one thread at a time, is to make it. put(i, piece) hands it out; false from put stops
// the work and returns false. What make threw comes out of this call.
template <class Piece, class Make, class Put>
bool makeInOrder(std::size_t count, int threads, Make &&make, Put &&put) {
    Piece pieces[2];
    for (std::size_t i = 0; i < count; i += 2) {
        const bool next = i + 1 < count;
        std::optional<SecondThread> second;
        if (threads > 1 && next)
            second.emplace([&] { make(1, i + 1, pieces[1]); });
        make(0, i, pieces[0]);
        if (!put(i, pieces[0]))
            return false;
        if (!next)
            break;
        if (second)
            second->wait();
        else
            make(0, i + 1, pieces[1]);
        if (!put(i + 1, pieces[1]))
            return false;
    }
    return true;
}
