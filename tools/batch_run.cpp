#include "batch_run.h"

#include "enlarge.h"
#include "shown_names.h"
#include "temporary_files.h"
#include "whole_files.h"
#include "work_threads.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <unistd.h>

namespace tessera::tool {
namespace {

using Clock = std::chrono::steady_clock;

// Each thread writes at most one file at a time, and each file in writing holds one registered
// temporary file.
static_assert(pixels::maxJobs <= files::maxTemporaries);

// A single input gets a progress line only when it is this large (source pixels).
constexpr std::uint64_t largeInputPixels = 2'000'000;
constexpr auto progressInterval = std::chrono::milliseconds{250};

struct Progress {
    std::mutex mutex;
    std::FILE* stream = stderr;
    bool enabled = false;
    bool countsFiles = false;
    std::size_t done = 0;
    std::size_t total = 0;
    bool drawn = false; // whether the line is on screen and must be cleared before a message
    Clock::time_point start = Clock::now();
};

// Once a write to the stream has failed (stderr a pipe whose reader has gone, with SIGPIPE
// ignored), nothing more is written to it: the run goes on to finish its outputs.
bool streamFailed(const Progress& progress) {
    return std::ferror(progress.stream) != 0;
}

void drawProgressLocked(Progress& progress) {
    if (!progress.enabled || progress.total == 0 || streamFailed(progress))
        return;
    const double seconds = std::chrono::duration<double>(Clock::now() - progress.start).count();
    std::fprintf(progress.stream, "\r\x1b[Ktessera-scale: %zu/%zu %s, %.1f s", progress.done, progress.total,
                 progress.countsFiles ? "files" : "steps", seconds);
    std::fflush(progress.stream);
    progress.drawn = true;
}

void clearProgressLocked(Progress& progress) {
    if (progress.drawn && !streamFailed(progress))
        std::fputs("\r\x1b[K", progress.stream);
    progress.drawn = false;
}

void reportLine(Progress& progress, const std::string& line) {
    const std::lock_guard lock{progress.mutex};
    clearProgressLocked(progress);
    if (!streamFailed(progress))
        std::fprintf(progress.stream, "tessera-scale: %s\n", line.c_str());
    drawProgressLocked(progress);
}

// Several inputs: a step is a file. One large input: a step is a band, or its final write.
void advanceProgress(Progress& progress, bool fileFinished) {
    const std::lock_guard lock{progress.mutex};
    if (fileFinished || !progress.countsFiles)
        ++progress.done;
    drawProgressLocked(progress);
}

struct FileWork {
    const Job* job = nullptr;
    enlarge::StillImage still; // a still image whose bands are being enlarged
    std::atomic<std::size_t> bandsLeft{0};
};

struct BandTask {
    FileWork* file = nullptr;
    pixels::RowBand rows;
};

struct Batch {
    const BatchSettings& settings;
    enlarge::Request request;
    std::vector<FileWork> files;

    std::mutex mutex; // guards the queue: nextFile, bands and running
    std::condition_variable wake;
    std::size_t nextFile = 0;
    std::deque<BandTask> bands;
    std::size_t running = 0;

    std::atomic<std::size_t> failures{0};
    Progress progress;

    explicit Batch(const std::vector<Job>& jobs, const BatchSettings& batchSettings)
        : settings(batchSettings), files(jobs.size()) {
        request.factor = settings.factor;
        request.background = settings.background;
        request.edges = settings.edges;
        for (std::size_t i = 0; i < jobs.size(); ++i)
            files[i].job = &jobs[i];
        progress.stream = settings.messages;
        progress.enabled = settings.progress;
        progress.countsFiles = settings.manyInputs;
        progress.total = settings.manyInputs ? jobs.size() : 0;
    }
};

bool allWorkDoneLocked(const Batch& batch) {
    return batch.nextFile == batch.files.size() && batch.bands.empty() && batch.running == 0;
}

// "cannot read 'hero.png': it is a directory": a failure to write names the output, any other
// the input.
std::string describe(const Failure& failure, const Job& job) {
    const char* verb = "read";
    if (failure.step == Step::Enlarge)
        verb = "enlarge";
    else if (failure.step == Step::Write)
        verb = "write";
    std::string named = shownName(job.input);
    if (failure.step == Step::Write)
        named = job.standardOutput ? "to standard output" : shownName(job.output);
    return std::string{"cannot "} + verb + " " + named + ": " + failure.reason;
}

void failFile(Batch& batch, FileWork& file, const Failure& failure) {
    file.still = {};
    batch.failures.fetch_add(1);
    reportLine(batch.progress, describe(failure, *file.job));
    advanceProgress(batch.progress, true);
}

const Failure outOfMemory{Step::Enlarge, "not enough memory"};

enlarge::Request requestFor(const Batch& batch, const Job& job) {
    enlarge::Request request = batch.request;
    request.format = outputFormat(job.output);
    return request;
}

void writeOutput(Batch& batch, FileWork& file, const Result<std::vector<std::uint8_t>>& encoded) {
    if (const Failure* failure = std::get_if<Failure>(&encoded))
        return failFile(batch, file, *failure);
    const std::vector<std::uint8_t>& bytes = std::get<std::vector<std::uint8_t>>(encoded);
    Result<> written = file.job->standardOutput
                           ? files::writeAll(bytes, STDOUT_FILENO)
                           : files::writeFileSafely(bytes, file.job->output, batch.settings.fileMode);
    if (const Failure* failure = std::get_if<Failure>(&written))
        return failFile(batch, file, *failure);
    advanceProgress(batch.progress, true);
}

void finishFile(Batch& batch, FileWork& file) {
    try {
        // Several inputs keep every thread busy with files of their own, so a file's encoding
        // stays on its thread rather than start helpers that only compete with them.
        const int encodingThreads = batch.settings.manyInputs ? 1 : batch.settings.threads;
        const Result<std::vector<std::uint8_t>> encoded =
            enlarge::encodeStill(requestFor(batch, *file.job), file.still, encodingThreads);
        file.still = {};
        writeOutput(batch, file, encoded);
    } catch (const std::bad_alloc&) {
        failFile(batch, file, outOfMemory);
    } catch (const std::exception& exception) {
        failFile(batch, file, {Step::Write, exception.what()});
    }
}

void runBand(Batch& batch, const BandTask& task) {
    FileWork& file = *task.file;
    enlarge::enlargeBand(batch.request, file.still, task.rows);
    advanceProgress(batch.progress, false);
    if (file.bandsLeft.fetch_sub(1, std::memory_order_acq_rel) == 1)
        finishFile(batch, file);
}

void noteFlattened(Batch& batch, const Job& job) {
    if (batch.settings.notes)
        reportLine(batch.progress, "note: " + shownName(job.input) + ": transparency flattened onto " +
                                       pixels::formatColour(*batch.settings.background));
}

// An animation is enlarged and written whole on this thread, frame after frame.
void runAnimation(Batch& batch, FileWork& file, enlarge::Opened& opened) {
    enlarge::AnimationImage& animation = std::get<enlarge::AnimationImage>(opened.image);
    while (animation.nextFrame < animation.animation.frames.size())
        if (Result<> added = enlarge::enlargeFrame(opened.request, animation);
            const Failure* failure = std::get_if<Failure>(&added))
            return failFile(batch, file, *failure);
    writeOutput(batch, file, enlarge::finishAnimation(animation));
}

// Loads one file, then enlarges it here if it is small or queues its bands.
void startFile(Batch& batch, FileWork& file) {
    const Job& job = *file.job;
    std::vector<pixels::RowBand> bands;
    try {
        Result<enlarge::Opened> loaded;
        {
            const Result<std::vector<char>> input = files::readWholeFile(job.input);
            if (const Failure* failure = std::get_if<Failure>(&input))
                return failFile(batch, file, *failure);
            loaded = enlarge::openFile(std::get<std::vector<char>>(input), requestFor(batch, job));
        }
        if (const Failure* failure = std::get_if<Failure>(&loaded))
            return failFile(batch, file, *failure);
        enlarge::Opened& opened = std::get<enlarge::Opened>(loaded);
        if (enlarge::flattened(opened))
            noteFlattened(batch, job);
        if (std::holds_alternative<enlarge::AnimationImage>(opened.image))
            return runAnimation(batch, file, opened);
        file.still = std::get<enlarge::StillImage>(std::move(opened.image));
        const auto width = static_cast<std::uint64_t>(file.still.width);
        const auto height = static_cast<std::uint64_t>(file.still.height);
        bands = pixels::planBands(file.still.height, file.still.targetPixels, batch.settings.threads);
        if (!batch.settings.manyInputs && width * height >= largeInputPixels) {
            const std::lock_guard lock{batch.progress.mutex};
            batch.progress.total = bands.size() + 1;
            drawProgressLocked(batch.progress);
        }
    } catch (const std::bad_alloc&) {
        return failFile(batch, file, outOfMemory);
    } catch (const std::exception& exception) {
        return failFile(batch, file, {Step::Read, exception.what()});
    }

    file.bandsLeft.store(bands.size());
    if (bands.size() == 1)
        return runBand(batch, {&file, bands.front()});
    {
        const std::lock_guard lock{batch.mutex};
        for (const pixels::RowBand& rows : bands)
            batch.bands.push_back({&file, rows});
    }
    batch.wake.notify_all();
}

void work(Batch& batch) {
    std::unique_lock lock{batch.mutex};
    for (;;) {
        // A thread with nothing to do keeps the progress line's time moving.
        while (!batch.wake.wait_for(lock, progressInterval, [&] {
            return !batch.bands.empty() || batch.nextFile < batch.files.size() || batch.running == 0;
        })) {
            lock.unlock();
            {
                const std::lock_guard progressLock{batch.progress.mutex};
                drawProgressLocked(batch.progress);
            }
            lock.lock();
        }
        if (!batch.bands.empty()) {
            const BandTask task = batch.bands.front();
            batch.bands.pop_front();
            ++batch.running;
            lock.unlock();
            runBand(batch, task);
        } else if (batch.nextFile < batch.files.size()) {
            FileWork& file = batch.files[batch.nextFile++];
            ++batch.running;
            lock.unlock();
            startFile(batch, file);
        } else {
            return; // nothing queued and nothing running, so nothing more can be queued
        }
        lock.lock();
        --batch.running;
        if (allWorkDoneLocked(batch))
            batch.wake.notify_all();
    }
}

} // namespace

std::size_t runBatch(const std::vector<Job>& jobs, const BatchSettings& settings) {
    Batch batch{jobs, settings};
    runOnThreads(settings.threads, [&batch] { work(batch); });
    const std::lock_guard lock{batch.progress.mutex};
    if (batch.progress.drawn && !streamFailed(batch.progress)) {
        drawProgressLocked(batch.progress);
        std::fputs("\n", batch.progress.stream);
    }
    return batch.failures.load();
}

} // namespace tessera::tool
