// Quillet's text functions on 5 MB inputs, ordinary and hostile (text made
// of nothing but dashes, letters whose case takes more room, a thousand
// tags): each must take time in proportion to its input.
#include "text_functions.h"

#include <QDate>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

using namespace quillet::text;

constexpr qsizetype k5MB = 5 << 20;

QString repeated(const QString& piece) {
    QString out;
    out.reserve(k5MB + piece.size());
    while (out.size() < k5MB)
        out += piece;
    return out;
}

const QString& prose() {
    static const QString t =
        repeated("The quick brown fox jumps over the lazy dog on Monday, January 1st, 2001 - "
                 "and again.\r\n");
    return t;
}

template <typename F> void run(benchmark::State& state, F f) {
    for (auto _ : state)
        benchmark::DoNotOptimize(f());
}

void BM_CutIntroDashes(benchmark::State& s) {
    static const QString t = repeated("- ");
    run(s, [] { return cutIntro(t, 15); });
}
void BM_ConvertCaseUpperSharpS(benchmark::State& s) {
    static const QString t(k5MB, QChar(0x00DF));
    run(s, [] { return convertCase(t, 2); });
}
void BM_ConvertCaseLowerDottedI(benchmark::State& s) {
    static const QString t(k5MB, QChar(0x0130));
    run(s, [] { return convertCase(t, 3); });
}
void BM_ConvertCaseProse(benchmark::State& s) {
    for (auto _ : s)
        for (int type : {1, 2, 3, 4})
            benchmark::DoNotOptimize(convertCase(prose(), type));
}
void BM_FillThousandTags(benchmark::State& s) {
    static const QString t = repeated("Text [tag7] and [TAG999] then [TAGS] more text. ");
    static const auto tags = [] {
        std::vector<std::pair<QString, QString>> v;
        for (int i = 0; i < 1000; ++i)
            v.push_back({"[TAG" + QString::number(i) + "]", QString::number(i)});
        return v;
    }();
    run(s, [] { return fillTags(t, tags); });
}
void BM_RemoveDates(benchmark::State& s) {
    run(s, [] { return removeDates(prose(), 1, 0, QDate(2001, 1, 1)).value_or(QString()); });
}
void BM_OtherTextFunctions(benchmark::State& s) {
    for (auto _ : s) {
        benchmark::DoNotOptimize(fullTrim(prose()));
        benchmark::DoNotOptimize(removeLines(prose(), " "));
        benchmark::DoNotOptimize(removeExcessSpaces(prose()));
        benchmark::DoNotOptimize(cutToSentences(prose(), 3));
        benchmark::DoNotOptimize(replaceText(prose(), "fox", "cat"));
        benchmark::DoNotOptimize(removeTextBetween(prose(), "quick", "lazy", true, nullptr));
        benchmark::DoNotOptimize(similarSubjects(prose().left(100000), prose().left(100000)));
    }
}

BENCHMARK(BM_CutIntroDashes)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertCaseUpperSharpS)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertCaseLowerDottedI)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertCaseProse)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FillThousandTags)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_RemoveDates)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OtherTextFunctions)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
