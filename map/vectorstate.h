// The processor's vector state made clean before a long loop of double arithmetic. Code that
// leaves the upper halves of the AVX registers in use (something in showing and drawing a window
// does) makes every later plain SSE instruction wait on them: on the test machine the projection
// of a million points took 280 ms instead of 20 once the window had been drawn. VZEROUPPER clears
// them; on a processor without AVX there is nothing to clear and the call does nothing.
#pragma once

namespace map {

void clearUpperVectorState();
// Whether the processor has AVX, so that the call above clears anything.
bool hasUpperVectorState();

} // namespace map
