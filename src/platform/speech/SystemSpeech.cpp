#include "platform/speech/SystemSpeech.h"

#include "platform/speech/SynthesizerVoices.h"

#include <QPromise>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace tivela {

struct SystemSpeech::Worker {
    struct Command {
        enum class Kind { voices, speak, stop } kind;
        QString text;
        Voices::Voice voice;
        std::shared_ptr<QPromise<QList<Voices::Voice>>> promise;
    };

    // The daemon's address is read here, on the caller's thread, like the environment is.
    explicit Worker(const Options& options)
        : wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
        , daemon(options.limits, options.autospawn, wake)
        , local(options.fallbackSink) {
        thread = std::thread([this] { run(); });
    }

    ~Worker() {
        shutDown(QDeadlineTimer::Forever);
        thread.join();
        if (wake >= 0)
            ::close(wake);
    }

    bool shutDown(QDeadlineTimer deadline) {
        std::unique_lock lock(mutex);
        if (!quitting) {
            quitting = true;
            ready.notify_one();
            // Ends any wait of the daemon connection at once.
            if (wake >= 0) {
                const uint64_t one = 1;
                [[maybe_unused]] const auto written = ::write(wake, &one, sizeof(one));
            }
        }
        if (deadline.isForever()) {
            ended.wait(lock, [this] { return finished; });
            return true;
        }
        return ended.wait_until(lock, deadline.deadline<std::chrono::steady_clock>(),
                                [this] { return finished; });
    }

    void push(Command command) {
        {
            std::lock_guard lock(mutex);
            // Nothing is taken once the worker is told to end.
            if (quitting) {
                if (command.promise)
                    fulfil(*command.promise, {});
                return;
            }
            if (command.kind == Command::Kind::stop) {
                // Speech that has not started yet is never to be heard once a stop follows.
                std::erase_if(queue,
                              [](const Command& c) { return c.kind == Command::Kind::speak; });
                if (!queue.empty() && queue.back().kind == Command::Kind::stop)
                    return;
            }
            queue.push_back(std::move(command));
        }
        ready.notify_one();
    }

    // Only this thread touches the daemon and the engine.
    void run() {
        bool useDaemon = true;
        while (true) {
            Command command;
            {
                std::unique_lock lock(mutex);
                ready.wait(lock, [this] { return quitting || !queue.empty(); });
                if (quitting)
                    break;
                command = std::move(queue.front());
                queue.pop_front();
            }
            switch (command.kind) {
            case Command::Kind::voices: {
                auto listed = daemon.voices();
                // A listing cut short by the end is no reason to start the engine here.
                if (!listed && isQuitting()) {
                    fulfil(*command.promise, {});
                    break;
                }
                useDaemon = listed && !listed->isEmpty();
                // An idle client would keep a daemon that has nothing to say from ending.
                if (!useDaemon)
                    daemon.close();
                fulfil(*command.promise, useDaemon ? *listed : local.voices());
                break;
            }
            case Command::Kind::speak: {
                const auto parts = SynthesizerVoices::split(command.voice.identifier);
                if (!parts)
                    break;
                const auto& [module, name] = *parts;
                if (useDaemon && daemon.speak(command.text, module, name))
                    break;
                // Cut short by the end: nothing starts speaking now.
                if (isQuitting())
                    break;
                // A daemon that went away since it listed its espeak-ng voices leaves them to
                // the engine in the process, which has the same voices under the same names.
                if (module == QLatin1String(Espeak::module) &&
                    (!useDaemon || !daemon.isConnected()))
                    local.speak(command.text, name);
                break;
            }
            case Command::Kind::stop:
                if (useDaemon)
                    daemon.cancel();
                local.cancel();
                break;
            }
        }
        // What is being spoken ends with the process.
        daemon.leave();
        local.cancel();
        std::lock_guard lock(mutex);
        for (Command& left : queue)
            if (left.promise)
                fulfil(*left.promise, {});
        queue.clear();
        finished = true;
        ended.notify_all();
    }

    bool isQuitting() {
        std::lock_guard lock(mutex);
        return quitting;
    }

    static void fulfil(QPromise<QList<Voices::Voice>>& promise, const QList<Voices::Voice>& list) {
        promise.addResult(list);
        promise.finish();
    }

    int wake;
    SpeechDispatcher daemon;
    Espeak local;
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<Command> queue;
    bool quitting = false;
    // The worker's loop is over.
    bool finished = false;
    std::condition_variable ended;
    std::thread thread;
};

SystemSpeech::SystemSpeech()
    : SystemSpeech(Options{}) {
}

SystemSpeech::SystemSpeech(const Options& options)
    : m_worker(std::make_unique<Worker>(options)) {
}

SystemSpeech::~SystemSpeech() = default;

QFuture<QList<Voices::Voice>> SystemSpeech::voices() {
    auto promise = std::make_shared<QPromise<QList<Voices::Voice>>>();
    promise->start();
    QFuture<QList<Voices::Voice>> future = promise->future();
    m_worker->push({Worker::Command::Kind::voices, {}, {}, std::move(promise)});
    return future;
}

void SystemSpeech::speak(const QString& text, const Voices::Voice& voice) {
    m_worker->push({Worker::Command::Kind::speak, text, voice, nullptr});
}

void SystemSpeech::stop() {
    m_worker->push({Worker::Command::Kind::stop, {}, {}, nullptr});
}

bool SystemSpeech::shutDown(QDeadlineTimer deadline) {
    return m_worker->shutDown(deadline);
}

} // namespace tivela
