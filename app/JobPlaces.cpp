#include "app/JobPlaces.h"

#include <cstdio>
#include <cstring>

namespace {

// Where a job of this command line runs: its program's directory when the job can enter it, else
// the directory that stays current (the program's own while no job runs).
void RanIn(const char* commandLine, char* directory)
{
    char programDirectory[kPathSize];
    ProgramDirectory(commandLine, programDirectory);
    DWORD attributes = programDirectory[0] ? GetFileAttributesA(programDirectory) : INVALID_FILE_ATTRIBUTES;
    DWORD length = 0;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        length = GetFullPathNameA(programDirectory, kPathSize, directory, nullptr);
    else
        length = GetCurrentDirectoryA(kPathSize, directory);
    if (length == 0 || length >= static_cast<DWORD>(kPathSize) - 1) {
        directory[0] = '\0';
        return;
    }
    if (directory[length - 1] != '\\' && directory[length - 1] != '/')
        lstrcpynA(directory + length, "\\", 2);
}

bool SameText(const char* stored, const char* text, size_t length)
{
    return std::strlen(stored) == length && std::memcmp(stored, text, length) == 0;
}

} // namespace

void ProgramDirectory(const char* commandLine, char* directory)
{
    char head[kPathSize];
    lstrcpynA(head, commandLine, kPathSize);
    char* program = head;
    if (head[0] == '"') {
        program = head + 1;
        char* closing = std::strchr(program, '"');
        if (closing)
            *closing = '\0';
    }
    AppPaths::DirectoryOf(program, directory);
}

JobPlaces::JobPlaces() : count(0), next(0)
{
    for (JobPlace& job : jobs) {
        job.commandLine = nullptr;
        job.directory[0] = '\0';
    }
    notice[0] = '\0';
}

JobPlaces::~JobPlaces()
{
    for (JobPlace& job : jobs)
        if (job.commandLine)
            HeapFree(GetProcessHeap(), 0, job.commandLine);
}

void JobPlaces::Remember(const char* commandLine, int slot, const Settings& settings)
{
    notice[0] = '\0';
    size_t length = std::strlen(commandLine);
    char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, length + 1));
    if (!copy)
        return;  // its header then reads as one without a record
    std::memcpy(copy, commandLine, length + 1);
    JobPlace& job = jobs[next];
    if (job.commandLine)
        HeapFree(GetProcessHeap(), 0, job.commandLine);
    job.commandLine = copy;
    RanIn(commandLine, job.directory);
    job.pattern = MessagePattern();
    const char* reason = nullptr;
    if (slot >= 0 && slot < kSlotCount && !job.pattern.Compile(settings.messagePatterns[slot], &reason))
        std::snprintf(notice, sizeof notice, "Messages%d is not a regular expression: %s\r\n",
                      slot + 1, reason);
    next = (next + 1) % kRemembered;
    if (count < kRemembered)
        ++count;
}

const JobPlace* JobPlaces::JobOfHeader(const char* commandLine, size_t length, JobPlace* derived) const
{
    for (const JobPlace* job = Newest(); job; job = Before(job))
        if (SameText(job->commandLine, commandLine, length))
            return job;
    char text[kPathSize];
    lstrcpynA(text, commandLine, static_cast<int>(length < sizeof text ? length + 1 : sizeof text));
    derived->commandLine = nullptr;
    derived->pattern = MessagePattern();
    RanIn(text, derived->directory);
    return derived;
}

const JobPlace* JobPlaces::Before(const JobPlace* job) const
{
    int index = static_cast<int>(job - jobs);
    int newest = (next + kRemembered - 1) % kRemembered;
    int age = (newest - index + kRemembered) % kRemembered;  // 0 for the newest
    if (index < 0 || index >= kRemembered || age + 1 >= count)
        return nullptr;
    return &jobs[(index + kRemembered - 1) % kRemembered];
}

const JobPlace* JobPlaces::Newest() const
{
    return count ? &jobs[(next + kRemembered - 1) % kRemembered] : nullptr;
}
