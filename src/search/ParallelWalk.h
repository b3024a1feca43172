#pragma once

#include <cstddef>

#include "resultlist/ResultRows.h"
#include "search/ScanList.h"
#include "search/SearchRun.h"

namespace fendrik {

// The search with subfolders and several threads: the threads list folders
// and read documents at the same time, while the calling thread puts the
// listed folders together in the order of the one-thread walk (ScanFolders)
// and hands each document to the threads as soon as it has its place. `scan`,
// the rows, their order and every report are those of ScanFolders followed by
// FillResultRows; only the order in which folders are listed and documents
// read differs.
//
// Invariants, each kept under one lock:
//  1. A folder is listed by one thread at a time, and the walk's order comes
//     from the folders' places in their parents, never from the order in
//     which the threads finished them.
//  2. A folder already claimed by another listing (the same identity on the
//     disk, reached through a link) is listed no further ahead of the walk:
//     links back to an ancestor and links that fan out cost nothing beyond
//     one listing. When the walk comes to such a folder before the one that
//     claimed it, it has it listed again by its own path then (rare: it takes
//     links that fan out), and the other one is passed over as the one-thread
//     walk passes over a folder it has been through.
//  3. Only documents the walk has put in place are read, each once, by one
//     thread: every document read gives a row, and the number of documents
//     put in place is the count of the search so far.
//  4. The threads list folders in the walk's order, and only while few
//     documents per thread wait to be read; the walk lists the folder it
//     needs next itself when no thread has taken it.
//  5. A stop (hooks.cancel) ends the walk, the listing and the reading at the
//     next folder or document; the rows are those of the documents read so
//     far, in the order the whole search gives them.
//
// hooks.perFolder is called before each folder is listed, one call at a time,
// from any of the search's threads; it may set hooks.cancel but not throw.
// hooks.progress gives the documents read and the documents put in place so
// far, one call at a time: the second number grows while the walk goes on.
// hooks.folderError and hooks.failed are called from the calling thread, in
// the walk's order. Throws what kept the search from running at all (no
// thread to be had, no server).
size_t WalkAndReadInParallel(const SearchRequest& request, unsigned jobs, ScanList& scan, ResultRows& rows,
                             const SearchHooks& hooks);

}  // namespace fendrik
