#include "platform/recognizer/Vocabulary.h"

#include <QChar>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <lttoolbox/alphabet.h>
#include <lttoolbox/file_utils.h>
#include <lttoolbox/transducer.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <numeric>

namespace tivela {
namespace {

// The analysers of Debian's pairs are under a megabyte; a file this large is none.
constexpr qint64 maxFileBytes = 64 << 20;
// No word an analyser knows is longer; a longer one is turned down without a look.
constexpr qsizetype maxLetters = 64;
// An analyser's automaton is in a few dozen states at once; this many means it is no analyser.
constexpr size_t maxStates = 1 << 14;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Apertium's analysers spell the apostrophe in ASCII.
char32_t asTyped(char32_t c) {
    return c == U'\u2019' || c == U'\u02BC' ? U'\'' : c;
}

} // namespace

struct Vocabulary::Edge {
    State from;
    char32_t letter;
    State to;

    friend auto operator<=>(const Edge&, const Edge&) = default;
};

std::shared_ptr<const Vocabulary> Vocabulary::load(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > maxFileBytes)
        return nullptr;
    const std::unique_ptr<FILE, FileCloser> file(
        std::fopen(QFile::encodeName(path).constData(), "rb"));
    if (!file)
        return nullptr;

    try {
        std::set<UChar32> letters;
        Alphabet alphabet;
        std::map<UString, Transducer> sections;
        readTransducerSet(file.get(), letters, alphabet, sections);

        // The sections side by side behind one start, which enters each without a letter.
        std::vector<Edge> edges;
        std::vector<State> finals;
        State next = 1;
        for (auto& [name, section] : sections) {
            const State base = next;
            State end = base + State(std::max(section.size(), section.getInitial() + 1));
            edges.push_back({0, 0, base + State(section.getInitial())});
            for (const auto& [from, moves] : section.getTransitions()) {
                for (const auto& [symbol, to] : moves) {
                    const int input = alphabet.decode(symbol).first;
                    // Tags and special symbols are no letter of a word.
                    if (input < 0)
                        continue;
                    edges.push_back({base + State(from), char32_t(input), base + State(to.first)});
                    end = std::max({end, base + State(from) + 1, base + State(to.first) + 1});
                }
            }
            for (const auto& [state, weight] : section.getFinals()) {
                finals.push_back(base + State(state));
                end = std::max(end, base + State(state) + 1);
            }
            next = end;
        }
        if (finals.empty())
            return nullptr;
        std::sort(edges.begin(), edges.end());
        edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
        return std::shared_ptr<const Vocabulary>(new Vocabulary(next, edges, finals));
    } catch (const std::exception&) {
        // lttoolbox throws on a file cut short, and so does running out of memory.
        return nullptr;
    }
}

Vocabulary::Vocabulary(State states, const std::vector<Edge>& edges,
                       const std::vector<State>& finals) {
    // The edges are ordered by state, and a state's moves without a letter come first.
    std::vector<quint32> first(states + 1, 0);
    for (const Edge& edge : edges)
        ++first[edge.from + 1];
    std::partial_sum(first.begin(), first.end(), first.begin());
    std::vector<bool> final(states, false);
    for (const State state : finals)
        final[state] = true;

    // Each state takes over the letters and the end of the states it reaches without a letter,
    // so a word is read without following such moves.
    m_first.reserve(states + 1);
    m_final.assign(states, false);
    std::vector<State> reached;
    std::vector<State> stack;
    std::vector<State> seenBy(states, states);
    std::vector<std::pair<char32_t, State>> moves;
    for (State state = 0; state < states; ++state) {
        reached.clear();
        stack.assign(1, state);
        seenBy[state] = state;
        while (!stack.empty()) {
            const State at = stack.back();
            stack.pop_back();
            reached.push_back(at);
            for (quint32 e = first[at]; e < first[at + 1] && edges[e].letter == 0; ++e) {
                if (seenBy[edges[e].to] != state) {
                    seenBy[edges[e].to] = state;
                    stack.push_back(edges[e].to);
                }
            }
        }
        moves.clear();
        for (const State at : reached) {
            m_final[state] = m_final[state] || final[at];
            for (quint32 e = first[at]; e < first[at + 1]; ++e)
                if (edges[e].letter != 0)
                    moves.emplace_back(edges[e].letter, edges[e].to);
        }
        std::sort(moves.begin(), moves.end());
        moves.erase(std::unique(moves.begin(), moves.end()), moves.end());
        m_first.push_back(quint32(m_letter.size()));
        for (const auto& [letter, to] : moves) {
            m_letter.push_back(letter);
            m_target.push_back(to);
        }
    }
    m_first.push_back(quint32(m_letter.size()));
    m_letter.shrink_to_fit();
    m_target.shrink_to_fit();
}

bool Vocabulary::knows(QStringView word) const {
    const QList<uint> letters = word.toUcs4();
    if (letters.isEmpty() || letters.size() > maxLetters)
        return false;
    std::vector<State> current{0};
    std::vector<State> next;
    for (const uint scalar : letters) {
        const char32_t letter = asTyped(scalar);
        const char32_t small = QChar::toLower(letter);
        next.clear();
        for (const State state : current) {
            const auto begin = m_letter.begin() + m_first[state];
            const auto end = m_letter.begin() + m_first[state + 1];
            for (const char32_t wanted : {letter, small}) {
                for (auto it = std::lower_bound(begin, end, wanted); it != end && *it == wanted;
                     ++it)
                    next.push_back(m_target[size_t(it - m_letter.begin())]);
                if (small == letter)
                    break;
            }
        }
        std::sort(next.begin(), next.end());
        next.erase(std::unique(next.begin(), next.end()), next.end());
        if (next.empty() || next.size() > maxStates)
            return false;
        current.swap(next);
    }
    return std::any_of(current.cbegin(), current.cend(),
                       [&](State state) { return m_final[state]; });
}

qsizetype Vocabulary::bytes() const {
    return qsizetype(m_first.capacity() * sizeof(quint32) + m_letter.capacity() * sizeof(char32_t) +
                     m_target.capacity() * sizeof(State) + m_final.capacity() / 8);
}

} // namespace tivela
