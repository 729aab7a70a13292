#pragma once
// Encoding on a second thread: the exporter hands chunks of samples to the queue and goes
// on rendering the next chunk while the encoder compresses the last ones. The queue holds
// a few chunks at most, so a slow encoder holds the decoder back instead of filling memory.

#include <cstddef>

struct sound_writer;

/// Chunks waiting at most, each of up to ENCODE_CHUNK_BYTES bytes.
inline constexpr int ENCODE_QUEUE_CHUNKS = 4;
inline constexpr size_t ENCODE_CHUNK_BYTES = 65536;

/// A queue feeding one writer. Opaque; owned by the caller from encode_queue_start to
/// encode_queue_finish.
struct encode_queue;

/// Starts the encoding thread for writer (borrowed; it must outlive the queue), whose
/// samples have bits (16 or 32) each. SIGINT and SIGTERM stay with the calling thread.
/// When no thread can be started, every chunk is written at once by the caller's thread.
/// Without memory the program ends (status 3).
encode_queue *encode_queue_start(sound_writer *writer, int bits);

/// Copies size bytes (whole frames) into the queue, in pieces of ENCODE_CHUNK_BYTES at
/// most, waiting while it is full. Returns 0 once a write has failed (the writer reported
/// it), else 1.
int encode_queue_push(encode_queue *queue, const unsigned char *bytes, size_t size);

/// Waits until every chunk is written, ends the thread and frees queue. Returns 1 when
/// every write succeeded, else 0.
int encode_queue_finish(encode_queue *queue);
