#include "export/encode_queue.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <pthread.h>
#include <system_error>
#include <thread>

#include "console/program_exit.h"
#include "export/sndfile_writer.h"

struct encode_queue {
    sound_writer *writer = nullptr;
    int bits = 16;
    std::mutex lock;
    std::condition_variable changed;
    // A ring of chunks: count filled ones from head on. The encoder reads slot head while
    // the exporter fills the slots after the filled ones, so neither touches the other's.
    alignas(int32_t) unsigned char slots[ENCODE_QUEUE_CHUNKS][ENCODE_CHUNK_BYTES];
    size_t sizes[ENCODE_QUEUE_CHUNKS] = {};
    int head = 0;
    int count = 0;
    bool closing = false;
    bool failed = false;
    bool threaded = false;
    std::thread encoder;
};

namespace {

int write_chunk(encode_queue *queue, const unsigned char *bytes, size_t size) {
    size_t count = size / static_cast<size_t>(queue->bits / 8);
    if (queue->bits == 32)
        return sound_writer_write32(queue->writer, reinterpret_cast<const int32_t *>(bytes), count);
    return sound_writer_write16(queue->writer, reinterpret_cast<const int16_t *>(bytes), count);
}

// The encoding thread: the oldest chunk, written outside the lock, then the next. After a
// failure the chunks are still taken, so the exporter never waits for ever.
void encode_chunks(encode_queue *queue) {
    std::unique_lock<std::mutex> held(queue->lock);
    for (;;) {
        queue->changed.wait(held, [queue] { return queue->count > 0 || queue->closing; });
        if (queue->count == 0)
            return;
        int slot = queue->head;
        bool skip = queue->failed;
        held.unlock();
        int written = skip ? 0 : write_chunk(queue, queue->slots[slot], queue->sizes[slot]);
        held.lock();
        if (!skip && !written)
            queue->failed = true;
        queue->head = (queue->head + 1) % ENCODE_QUEUE_CHUNKS;
        queue->count -= 1;
        queue->changed.notify_all();
    }
}

// The thread starts with every signal blocked, so the program's handler keeps running on
// the main thread, whose waits it is meant to interrupt.
bool start_thread(encode_queue *queue) {
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    bool started = true;
    try {
        queue->encoder = std::thread(encode_chunks, queue);
    } catch (const std::system_error &) {
        started = false;
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return started;
}

} // namespace

encode_queue *encode_queue_start(sound_writer *writer, int bits) {
    auto *queue = new (std::nothrow) encode_queue;
    if (queue == nullptr)
        exit_out_of_memory();
    queue->writer = writer;
    queue->bits = bits == 32 ? 32 : 16;
    queue->threaded = start_thread(queue);
    return queue;
}

int encode_queue_push(encode_queue *queue, const unsigned char *bytes, size_t size) {
    while (size > 0) {
        size_t piece = std::min(size, ENCODE_CHUNK_BYTES);
        if (!queue->threaded) {
            if (!write_chunk(queue, bytes, piece)) {
                queue->failed = true;
                return 0;
            }
        } else {
            std::unique_lock<std::mutex> held(queue->lock);
            queue->changed.wait(
                held, [queue] { return queue->count < ENCODE_QUEUE_CHUNKS || queue->failed; });
            if (queue->failed)
                return 0;
            int slot = (queue->head + queue->count) % ENCODE_QUEUE_CHUNKS;
            held.unlock();
            std::memcpy(queue->slots[slot], bytes, piece);
            queue->sizes[slot] = piece;
            held.lock();
            queue->count += 1;
            queue->changed.notify_all();
        }
        bytes += piece;
        size -= piece;
    }
    return 1;
}

int encode_queue_finish(encode_queue *queue) {
    if (queue->threaded) {
        {
            std::lock_guard<std::mutex> held(queue->lock);
            queue->closing = true;
        }
        queue->changed.notify_all();
        queue->encoder.join();
    }
    int succeeded = queue->failed ? 0 : 1;
    delete queue;
    return succeeded;
}
