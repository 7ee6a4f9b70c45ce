// The jobs whose output the log shows, as far as opening a message's place needs them: each job's
// command line, the directory it ran in and its slot's message pattern. A line of the log finds
// its job by the text of the header line nearest above it, not by a position: the log is the
// user's to edit, and a full log is renewed with its newest text alone, so positions mean nothing
// later, while a header stays above the output it heads. Kept by the user-interface thread.
#ifndef VELQUETH_APP_JOBPLACES_H
#define VELQUETH_APP_JOBPLACES_H

#include <windows.h>

#include "base/MessageLine.h"
#include "config/AppPaths.h"
#include "config/Settings.h"

const int kNoSlot = -1;

struct JobPlace {
    char* commandLine;         // the header's text; null in an unused record
    char directory[kPathSize]; // whole, with a trailing backslash
    MessagePattern pattern;    // the slot's Messages key, when it compiled
};

// The program's directory of a job command line: the drive and directory of the text inside a
// leading pair of quotes (or up to the end when the closing quote is missing), otherwise of the
// whole text. kPathSize bytes; only the first 259 characters are looked at.
void ProgramDirectory(const char* commandLine, char* directory);

class JobPlaces {
public:
    // The newest jobs are remembered; an older header is read as if it had none (JobOfHeader).
    static const int kRemembered = 64;

    JobPlaces();
    virtual ~JobPlaces();

    // At the start of a job, while no worker is alive: its command line, its slot (kNoSlot for a
    // drop or the start-up command line) and the settings just loaded.
    void Remember(const char* commandLine, int slot, const Settings& settings);
    // The red line that the newest job writes after its header ("Messages1 is not a regular
    // expression: ..." and a line break), or an empty text. The worker reads it.
    const char* Notice() const { return notice; }

    // The newest job whose header reads `commandLine` (of `length` characters); without one, the
    // directory that such a job would run in, with no pattern, in `derived`.
    const JobPlace* JobOfHeader(const char* commandLine, size_t length, JobPlace* derived) const;
    // The job that started before `job` (one of the remembered), or null; the newest job.
    const JobPlace* Before(const JobPlace* job) const;
    const JobPlace* Newest() const;

private:
    JobPlaces(const JobPlaces&) = delete;
    JobPlaces& operator=(const JobPlaces&) = delete;

    JobPlace jobs[kRemembered];
    int count;
    int next;  // the record the next job takes
    char notice[96];
};

#endif
