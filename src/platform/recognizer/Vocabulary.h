#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

namespace tivela {

// The words one morphological analyser of an Apertium pair knows: its compiled transducer
// (`*.automorf.bin`, read with lttoolbox) kept as an automaton over the letters of the words
// alone. Without the analyses it holds about a twentieth of the transducer's memory, and a
// word is looked up in about a microsecond. Immutable once loaded: any thread may ask it.
class Vocabulary {
public:
    // Nothing when the file cannot be read as a transducer or holds no words. Reading is
    // lttoolbox's, which trusts the file as the translation engine does.
    static std::shared_ptr<const Vocabulary> load(const QString& path);

    // Whether the analyser would analyse the word, as the translation engine reads it: a
    // capital also matches its small letter ("Casa", "CASA"), and the typographic apostrophe
    // reads as "'".
    bool knows(QStringView word) const;
    // The memory it holds, in bytes.
    qsizetype bytes() const;

    Vocabulary(const Vocabulary&) = delete;
    Vocabulary& operator=(const Vocabulary&) = delete;

private:
    using State = quint32;
    // A move of the transducer, by the letter it reads; 0 for a move without one.
    struct Edge;

    // From the transducer's moves, ordered, with state 0 the start.
    Vocabulary(State states, const std::vector<Edge>& edges, const std::vector<State>& finals);

    // The moves of state s are [m_first[s], m_first[s + 1]), ordered by letter; none is
    // without a letter.
    std::vector<quint32> m_first;
    std::vector<char32_t> m_letter;
    std::vector<State> m_target;
    std::vector<bool> m_final;
};

} // namespace tivela
