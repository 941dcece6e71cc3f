#pragma once

// What a program of Tamblure's does first, before any file is opened.

namespace tamblure {

// Standard input, output and error that were closed by whoever started the
// program are opened on /dev/null (output and error read-only, so that
// writing to them still fails as it would have): otherwise the first file
// the program opens would take descriptor 1, and what is printed would land
// inside a thumbnail or the page.
void keepStandardStreams();

// A closed pipe (`| head -1`) and a file-size limit (`ulimit -f`) become
// write errors (EPIPE, EFBIG) that name their file, instead of signals that
// kill the process before it saves its records.
void ignoreWriteSignals();

} // namespace tamblure
