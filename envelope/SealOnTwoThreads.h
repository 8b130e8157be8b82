#pragma once
// Sealing's last pass on two threads, for Envelope.cpp: while the chain runs, a second thread
// digests each stretch of the ciphertext it has finished; then the two threads make the
// envelope's pairs together, or, for an output that takes pieces out of order, the second
// thread has written them in place as the chain went. The plain way (Envelope.cpp) digests and
// writes after the chain on one thread; both give the same envelope.

#include <string_view>

#include "envelope/Envelope.h"

namespace tavorin::envelope {

// The last pass over message, and its envelope to sink. False when the pass ran alone (a short
// message, no second core or thread, an engine that raised no events) and nothing went to the
// sink: the caller then writes the envelope itself.
bool SealLastPassToSink(Engine& engine, InPlace& message, std::u16string_view key, const Sink& sink);

// The same for an output that takes pieces out of order; the digest's pairs go to the front
// last. The envelope is EnvelopeLength(message.size) long. When false, what was placed may be
// only part of it, and the caller writes it whole.
bool SealLastPassToPlacedSink(Engine& engine, InPlace& message, std::u16string_view key, const PlacedSink& placed);

}  // namespace tavorin::envelope
