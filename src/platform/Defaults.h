#pragma once

#include "core/LanguageDetector.h"

#include <QDeadlineTimer>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tivela {

class Translator;
class LanguageRecognizer;
class SpeechBackend;
class Speaker;
class TranslationEngine;

// The one place that puts the production parts behind the core's interfaces: Apertium for
// translation, CLD2 for recognition, speech-dispatcher (else espeak-ng) for speech. Both
// programs take their parts from here; tests build the core's classes on fakes instead.
namespace Defaults {

std::shared_ptr<TranslationEngine> engine();
// A fresh recogniser: one serves a single text.
std::unique_ptr<LanguageRecognizer> recognizer();
std::unique_ptr<SpeechBackend> speech();

// The translator of the process, on the production engine; made on first use.
Translator& translator();
// The speaker of the process on the system's synthesiser, made on first use, which must be on
// the main thread: the voice list arrives through its event loop.
Speaker& speaker();

// Language detection with a fresh production recogniser. Any thread may call either.
std::optional<LanguageDetector::Guess> detect(const QString& text, const QSet<QString>& allowed,
                                              const QStringList& hints);
// Among every language the recogniser knows, as both programs detect a translation's source.
std::optional<LanguageDetector::Guess> detectAny(const QString& text, const QStringList& hints);
// Whether the engine's answer to a text from `from` only hands the text back because the
// source language knows none of its words (PassThrough), by the process's word analysers. Any
// thread may call it; the main thread never waits for analysers still loading.
bool leftUntranslated(const QString& text, const QString& answer, const QString& from);
// Starts loading a language's word analysers and waits for nothing: called as a translation
// starts, they load beside the engine's work, ready when its answer is judged.
void loadAnalysers(const QString& language);

// For the end of the process, before main returns: the translator, the word analysers and the
// speaker (when one was made) stop their work (translations under way and waiting fail at once,
// the engine's processes are killed, speech is silenced and a wait on the speech daemon ends),
// and their threads are waited for until the deadline. Whether they all ended: threads
// still running would run on into the program's teardown, in tables already gone.
bool stopWork(QDeadlineTimer deadline);

} // namespace Defaults

} // namespace tivela
