// Quillet on a local page of about 1 MB: document queries (one round trip to
// the page each) and the text functions on the page's whole text.
#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include "browser_bench.h"

#include "text_functions.h"

#include <QApplication>
#include <QDate>
#include <QLoggingCategory>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>

namespace {

std::string pagePath() {
    static std::string path = [] {
        std::string p =
            (std::filesystem::temp_directory_path() / "quillet-bench-page.html").string();
        std::ofstream out(p);
        out << "<html><head><title>Big</title></head><body>";
        size_t written = 0;
        for (int i = 0; written < 1000000; ++i) {
            // A dated paragraph now and then, as news pages have them.
            std::string when = i % 50 == 0 ? "on Monday, January 1st, 2001" : "in the morning";
            std::string para = "<p>Paragraph " + std::to_string(i) +
                               ": the quick brown fox jumps over the lazy dog " + when +
                               " and again - it is a long line of text for the test.</p>\n";
            out << para;
            written += para.size();
        }
        out << "<p>Version [ 1.3 ] end</p></body></html>";
        return p;
    }();
    return path;
}

quillet::WebParser& parser() {
    return bench::parserOn(pagePath());
}

void BM_SmallPageTitle(benchmark::State& state) {
    quillet::WebParser w;
    std::string small =
        (std::filesystem::temp_directory_path() / "quillet-bench-small.html").string();
    std::ofstream(small) << "<html><head><title>Small</title></head><body>x</body></html>";
    w.OpenSite(small, 30);
    for (auto _ : state)
        benchmark::DoNotOptimize(w.PageTitle());
}
BENCHMARK(BM_SmallPageTitle)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_PageText(benchmark::State& state) {
    quillet::WebParser& w = parser(); // the page loads outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(w.PageText());
}
BENCHMARK(BM_PageText)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_GetTextBetweenText(benchmark::State& state) {
    quillet::WebParser& w = parser(); // the page loads outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(w.GetTextBetweenText("[", "]"));
}
BENCHMARK(BM_GetTextBetweenText)->Unit(benchmark::kMillisecond)->Iterations(100);

void BM_GetParagraph(benchmark::State& state) {
    quillet::WebParser& w = parser(); // the page loads outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(w.GetParagraph(3000));
}
BENCHMARK(BM_GetParagraph)->Unit(benchmark::kMillisecond)->Iterations(100);

QString bigText() {
    static QString t = QString::fromStdString(parser().PageText());
    return t;
}

void BM_RemoveDatesPastWeek1MB(benchmark::State& state) {
    QString t = bigText();
    for (auto _ : state)
        benchmark::DoNotOptimize(quillet::text::removeDates(t, 3, 0, QDate(2001, 1, 1)));
}
BENCHMARK(BM_RemoveDatesPastWeek1MB)->Unit(benchmark::kMillisecond)->Iterations(10);

// The worst case: today's date in every line of the 1 MB text.
void BM_RemoveDatesEveryLine1MB(benchmark::State& state) {
    QString line = "Results of Monday, January 1st, 2001 for the league, as reported.\r\n";
    QString t;
    while (t.size() < 1000000)
        t += line;
    for (auto _ : state)
        benchmark::DoNotOptimize(quillet::text::removeDates(t, 3, 0, QDate(2001, 1, 1)));
}
BENCHMARK(BM_RemoveDatesEveryLine1MB)->Unit(benchmark::kMillisecond)->Iterations(10);

// One benchmark per text function on the same 1 MB text.
template <class F> void textBench(benchmark::State& state, F f) {
    QString t = bigText();
    for (auto _ : state)
        benchmark::DoNotOptimize(f(t));
}
BENCHMARK_CAPTURE(textBench, RemoveLines,
                  [](const QString& t) { return quillet::text::removeLines(t, " "); })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(textBench, RemoveExcessSpaces,
                  [](const QString& t) { return quillet::text::removeExcessSpaces(t); })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(textBench, NewsHeadline,
                  [](const QString& t) { return quillet::text::convertCase(t, 4); })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(textBench, Replace,
                  [](const QString& t) { return quillet::text::replaceText(t, "fox", "cat"); })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(textBench, CutToSentences,
                  [](const QString& t) { return quillet::text::cutToSentences(t, 3); })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(textBench, RemoveTextBetween,
                  [](const QString& t) {
                      return quillet::text::removeTextBetween(t, "[", "]", true, nullptr);
                  })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);
BENCHMARK_CAPTURE(textBench, SimilarSubjects,
                  [](const QString& t) { return quillet::text::similarSubjects(t, "zebra"); })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

} // namespace

int main(int argc, char** argv) {
    return bench::runBrowserBenchmarks(argc, argv);
}
