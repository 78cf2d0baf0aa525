// Outputs written under temporary names and put in place when complete.
#include "staged_file.h"

#include "errors.h"
#include "file_io.h"

#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <system_error>

namespace qm {

namespace fs = std::filesystem;

namespace {

// A tag unlike any other run's: the random device alone repeats on some systems.
std::string NewTag()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const unsigned long long mixed = (static_cast<unsigned long long>(random()) << 20) ^ now ^ (++counter * 0x9E3779B9ull);
    char text[17];
    std::snprintf(text, sizeof text, "%06llx", mixed & 0xFFFFFFull);
    return text;
}

bool Exists(const fs::path& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

std::string WriteFailure(const fs::path& target, std::string_view reason)
{
    std::string text = "Cannot write " + Utf8Of(target);
    if (!reason.empty())
        text += ": " + std::string(reason);
    return text;
}

fs::path PartialName(const fs::path& target, std::string_view tag)
{
    const std::string extension = Utf8Of(target.extension());
    std::string name = Utf8Of(target.filename()) + ".partial-" + std::string(tag);
    if (!extension.empty() && Lower(extension) != ".csv")
        name += extension;
    return target.parent_path() / PathFromUtf8(name);
}

bool IsPartialName(const fs::path& path)
{
    return Utf8Of(path.filename()).find(".partial-") != std::string::npos;
}

StagedFiles::StagedFiles(std::vector<fs::path> targets) : targets_(std::move(targets))
{
    std::string tag = NewTag();
    const auto taken = [this](const std::string& t) {
        for (const fs::path& target : targets_)
            if (Exists(PartialName(target, t)) || Exists(PartialName(target, "old-" + t)))
                return true;
        return false;
    };
    for (int tries = 0; tries < 16 && taken(tag); ++tries)
        tag = NewTag();
    for (const fs::path& target : targets_) {
        temps_.push_back(PartialName(target, tag));
        backups_.push_back(PartialName(target, "old-" + tag));
    }
}

StagedFiles::~StagedFiles()
{
    if (committed_)
        return;
    std::error_code ec;
    for (const fs::path& temp : temps_) {
        fs::remove(temp, ec);
        fs::remove(PathFromUtf8(Utf8Of(temp) + ".aux.xml"), ec);
    }
}

std::string StagedFiles::Failure(std::string_view reason, std::size_t i) const
{
    std::string text(reason);
    for (std::size_t k = 0; k < temps_.size(); ++k) {
        const std::string temp = Utf8Of(temps_[k]), target = Utf8Of(targets_[k]);
        for (std::size_t at = text.find(temp); at != std::string::npos; at = text.find(temp, at + target.size()))
            text.replace(at, temp.size(), target);
    }
    return WriteFailure(targets_[i], text);
}

void StagedFiles::Commit()
{
    // The side files first, the main file (the first) last.
    std::vector<std::size_t> order;
    for (std::size_t i = 1; i < temps_.size(); ++i)
        order.push_back(i);
    if (!temps_.empty())
        order.push_back(0);
    std::vector<bool> placed(temps_.size(), false), movedAside(temps_.size(), false);
    std::string failure;
    for (const std::size_t i : order) {
        std::error_code ec;
        // A folder under the name is left alone: the rename onto it fails below.
        const fs::file_status status = fs::symlink_status(targets_[i], ec);
        if (fs::exists(status) && !fs::is_directory(status)) {
            fs::rename(targets_[i], backups_[i], ec);
            if (ec) {
                failure = WriteFailure(targets_[i], ec.message());
                break;
            }
            movedAside[i] = true;
        }
        fs::rename(temps_[i], targets_[i], ec);
        if (ec) {
            failure = WriteFailure(targets_[i], ec.message());
            break;
        }
        placed[i] = true;
    }
    std::error_code ec;
    for (std::size_t i = 0; i < temps_.size(); ++i) {
        if (failure.empty()) {
            if (movedAside[i])
                fs::remove(backups_[i], ec);
            continue;
        }
        if (placed[i])
            fs::rename(targets_[i], temps_[i], ec);
        if (movedAside[i])
            fs::rename(backups_[i], targets_[i], ec);
    }
    if (!failure.empty())
        throw Error(failure);
    committed_ = true;
}

StagedOutput::StagedOutput(fs::path target) : staged_({std::move(target)})
{
    if (const char* stop = std::getenv("QM_WRITE_STOP_AFTER"))
        stopAfter_ = std::atoll(stop);
    errno = 0;
    file_ = OpenForWriting(staged_.Temp(0));
    if (!file_)
        Fail(errno);
    buffer_.reserve(kBlock + 4096);
}

StagedOutput::~StagedOutput()
{
    if (file_)
        std::fclose(file_);
}

void StagedOutput::Fail(int errnoValue) const
{
    if (errnoValue == 0)
        errnoValue = EIO;
    throw Error(staged_.Failure(std::error_code(errnoValue, std::generic_category()).message()));
}

void StagedOutput::Flush()
{
    std::size_t size = buffer_.size();
    const bool stop = stopAfter_ >= 0 && written_ + static_cast<long long>(size) >= stopAfter_;
    if (stop)
        size = static_cast<std::size_t>(stopAfter_ - written_);
    errno = 0;
    if (std::fwrite(buffer_.data(), 1, size, file_) != size)
        Fail(errno);
    written_ += static_cast<long long>(size);
    if (stop) {
        std::fflush(file_);
        std::_Exit(86);
    }
    buffer_.clear();
}

void StagedOutput::Commit()
{
    Flush();
    std::FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0)
        Fail(errno);
    staged_.Commit();
}

} // namespace qm
