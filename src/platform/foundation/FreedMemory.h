#pragma once
// Handing memory that a large piece of work freed back to the system. The allocator keeps freed
// blocks for reuse, in one pool per thread that allocated them; after a list of many rows or a
// search of many results (made on worker threads, freed on another) those pools hold hundreds of
// megabytes that nothing will use soon, so the process would stay as large as its largest work.
// Any thread.

namespace ml::foundation {

// Returns the free pages of every allocator pool to the system. Takes a few milliseconds for a
// heap of a gigabyte; does nothing where the allocator cannot.
void releaseFreedMemory();

// Makes the allocator give freed memory back by itself: its own thresholds grow after large
// frees, so that after one big list or search it keeps hundreds of megabytes that no trim of
// the per-thread pools returns. Blocks of a megabyte or more are mapped on their own, free
// tops of a megabyte are returned, and threads share four pools. Called once, at start, before
// other threads allocate.
void limitRetainedMemory();

}  // namespace ml::foundation
