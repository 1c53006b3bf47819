// The thread that builds the fingerprint indexes the library wants, so that
// no check waits for a build: searches read the lists until the indexes are
// there. At most one such thread runs; it holds a reference to the library,
// so the library stays loaded until the thread has ended.
#pragma once

// The thread's description, for debuggers and for tests that wait for it.
const wchar_t kIndexWorkerDescription[] = L"Veriloom index build";

// Starts the thread when some index is wanted and no thread runs.
void BuildWantedIndexesInBackground();
