#include "batch_run.h"

#include "animation_run.h"
#include "animation_writer.h"
#include "image_files.h"
#include "pixel_conversion.h"
#include "png_encoder.h"
#include "row_bands.h"
#include "source_image.h"
#include "temporary_files.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <tessera/scaler.h>
#include <thread>

namespace tessera::tool {
namespace {

using Clock = std::chrono::steady_clock;

// Each thread writes at most one file at a time, and each file in writing holds one registered
// temporary file.
static_assert(maxJobs <= maxTemporaries);

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

void drawProgressLocked(Progress& progress) {
    if (!progress.enabled || progress.total == 0)
        return;
    const double seconds = std::chrono::duration<double>(Clock::now() - progress.start).count();
    std::fprintf(progress.stream, "\r\x1b[Ktessera-scale: %zu/%zu %s, %.1f s", progress.done, progress.total,
                 progress.countsFiles ? "files" : "steps", seconds);
    std::fflush(progress.stream);
    progress.drawn = true;
}

void clearProgressLocked(Progress& progress) {
    if (progress.drawn)
        std::fputs("\r\x1b[K", progress.stream);
    progress.drawn = false;
}

void reportLine(Progress& progress, const std::string& line) {
    const std::lock_guard lock{progress.mutex};
    clearProgressLocked(progress);
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
    std::vector<Pixel> source;
    // Every pixel is written by the bands, so the target is left uninitialised: its pages are
    // first touched by the threads that enlarge into them, not cleared by one beforehand.
    std::unique_ptr<Pixel[]> target;
    std::size_t targetPixels = 0;
    ScaleMode mode = ScaleMode::Opaque;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::atomic<std::size_t> bandsLeft{0};
};

struct BandTask {
    FileWork* file = nullptr;
    RowBand rows;
};

struct Batch {
    const BatchSettings& settings;
    ScaleSettings scaleSettings;
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

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// "cannot read 'hero.png': it is a directory": a failure to write names the output, any other
// the input.
std::string describe(const Failure& failure, const Job& job) {
    const char* verb = "read";
    if (failure.step == Step::Enlarge)
        verb = "enlarge";
    else if (failure.step == Step::Write)
        verb = "write";
    return std::string{"cannot "} + verb + " " +
           quoted(failure.step == Step::Write ? job.output : job.input) + ": " + failure.reason;
}

void failFile(Batch& batch, FileWork& file, const Failure& failure) {
    file.source = {};
    file.target.reset();
    batch.failures.fetch_add(1);
    reportLine(batch.progress, describe(failure, *file.job));
    advanceProgress(batch.progress, true);
}

const Failure outOfMemory{Step::Enlarge, "not enough memory"};

void finishFile(Batch& batch, FileWork& file) {
    try {
        file.source = {};
        const auto factor = static_cast<std::uint32_t>(batch.settings.factor);
        // Each band has turned its own rows of the target into RGBA bytes in place (runBand).
        const auto* rgba = reinterpret_cast<const std::uint8_t*>(file.target.get());
        const std::span<const std::uint8_t> pixels{rgba, file.targetPixels * 4};
        const auto width = static_cast<std::uint32_t>(file.width) * factor;
        const auto height = static_cast<std::uint32_t>(file.height) * factor;
        Result<std::vector<std::uint8_t>> encoded;
        if (outputFormat(file.job->output) == OutputFormat::Webp) {
            encoded = encodeWebp(pixels, width, height);
        } else {
            // Several inputs keep every thread busy with files of their own, so a file's encoding
            // stays on its thread rather than start helpers that only compete with them.
            const int encodingThreads = batch.settings.manyInputs ? 1 : batch.settings.threads;
            Result<EncodedPng> png = encodePng(pixels, width, height, encodingThreads);
            if (auto* done = std::get_if<EncodedPng>(&png))
                encoded = std::move(done->bytes);
            else
                encoded = std::get<Failure>(png);
        }
        file.target.reset();
        if (const Failure* failure = std::get_if<Failure>(&encoded))
            return failFile(batch, file, *failure);
        Result<> written = writeFileSafely(std::get<std::vector<std::uint8_t>>(encoded), file.job->output,
                                           batch.settings.fileMode);
        if (const Failure* failure = std::get_if<Failure>(&written))
            return failFile(batch, file, *failure);
    } catch (const std::bad_alloc&) {
        return failFile(batch, file, outOfMemory);
    } catch (const std::exception& exception) {
        return failFile(batch, file, {Step::Write, exception.what()});
    }
    advanceProgress(batch.progress, true);
}

void runBand(Batch& batch, const BandTask& task) {
    FileWork& file = *task.file;
    enlargeBand(file.mode, batch.settings.factor, file.source.data(), file.target.get(), file.width,
                file.height, batch.scaleSettings, task.rows.begin, task.rows.end, batch.settings.edges);
    // The band's target rows become RGBA bytes in their own storage, on the thread that made
    // them, sparing a second full-size buffer and a pass over the whole image on one thread.
    const auto factor = static_cast<std::size_t>(batch.settings.factor);
    const std::size_t perSourceRow = static_cast<std::size_t>(file.width) * factor * factor;
    Pixel* rows = file.target.get() + static_cast<std::size_t>(task.rows.begin) * perSourceRow;
    convertToRgba(file.mode, {rows, static_cast<std::size_t>(task.rows.end - task.rows.begin) * perSourceRow},
                  reinterpret_cast<std::uint8_t*>(rows));
    advanceProgress(batch.progress, false);
    if (file.bandsLeft.fetch_sub(1, std::memory_order_acq_rel) == 1)
        finishFile(batch, file);
}

void finishAnimation(Batch& batch, FileWork& file, const Result<EnlargedAnimation>& animated) {
    if (const Failure* failure = std::get_if<Failure>(&animated))
        return failFile(batch, file, *failure);
    const EnlargedAnimation& enlarged = std::get<EnlargedAnimation>(animated);
    if (enlarged.flattened && batch.settings.notes)
        reportLine(batch.progress, "note: " + quoted(file.job->input) + ": transparency flattened onto " +
                                       formatColour(*batch.settings.background));
    Result<> written = writeFileSafely(enlarged.file, file.job->output, batch.settings.fileMode);
    if (const Failure* failure = std::get_if<Failure>(&written))
        return failFile(batch, file, *failure);
    advanceProgress(batch.progress, true);
}

// Loads one file, then enlarges it here if it is small or queues its bands.
void startFile(Batch& batch, FileWork& file) {
    const Job& job = *file.job;
    std::vector<RowBand> bands;
    try {
        Result<SourceImage> loaded;
        {
            const Result<std::vector<char>> input = readWholeFile(job.input);
            if (const Failure* failure = std::get_if<Failure>(&input))
                return failFile(batch, file, *failure);
            // An animation is enlarged and written whole on this thread, frame after frame.
            if (auto animated = enlargeAnimationFile(std::get<std::vector<char>>(input),
                                                     batch.settings.factor, batch.settings.background,
                                                     outputFormat(job.output), batch.settings.edges))
                return finishAnimation(batch, file, *animated);
            loaded = loadSourceImage(std::get<std::vector<char>>(input), batch.settings.factor,
                                     batch.settings.background);
        }
        if (const Failure* failure = std::get_if<Failure>(&loaded))
            return failFile(batch, file, *failure);
        SourceImage& image = std::get<SourceImage>(loaded);
        file.width = image.width;
        file.height = image.height;
        file.mode = image.conversion.mode;
        file.source = std::move(image.pixels);
        if (image.conversion.flattened && batch.settings.notes)
            reportLine(batch.progress, "note: " + quoted(job.input) + ": transparency flattened onto " +
                                           formatColour(*batch.settings.background));

        const auto factor = static_cast<std::uint64_t>(batch.settings.factor);
        const std::uint64_t width = static_cast<std::uint64_t>(file.width);
        const std::uint64_t height = static_cast<std::uint64_t>(file.height);
        const std::uint64_t targetPixels = width * factor * height * factor;
        file.target = std::make_unique_for_overwrite<Pixel[]>(targetPixels);
        file.targetPixels = targetPixels;
        bands = planBands(file.height, targetPixels, batch.settings.threads);
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
        for (const RowBand& rows : bands)
            batch.bands.push_back({&file, rows});
    }
    batch.wake.notify_all();
}

void work(Batch& batch) {
    std::unique_lock lock{batch.mutex};
    for (;;) {
        batch.wake.wait(lock, [&] {
            return !batch.bands.empty() || batch.nextFile < batch.files.size() || batch.running == 0;
        });
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
    {
        std::vector<std::jthread> workers;
        try {
            for (int i = 0; i < settings.threads; ++i)
                workers.emplace_back([&batch] { work(batch); });
        } catch (const std::system_error&) {
            // The system refused another thread: go on with those that started.
            if (workers.empty())
                work(batch);
        }
        std::unique_lock lock{batch.mutex};
        while (!batch.wake.wait_for(lock, progressInterval, [&] { return allWorkDoneLocked(batch); })) {
            lock.unlock();
            {
                const std::lock_guard progressLock{batch.progress.mutex};
                drawProgressLocked(batch.progress);
            }
            lock.lock();
        }
    }
    const std::lock_guard lock{batch.progress.mutex};
    if (batch.progress.drawn) {
        drawProgressLocked(batch.progress);
        std::fputs("\n", batch.progress.stream);
    }
    return batch.failures.load();
}

} // namespace tessera::tool
