// Quillet's structure members on a generated page of about 1 MB with 5,000
// links, 200 tables of 50 cells and a form; and the whole job "load the page,
// read its text and every table cell" side by side with the engine's own
// floor (a bare QWebEnginePage doing it in one script) and with BeautifulSoup
// (lxml parser) as the reference.
#include <quillet/net_connection.h>
#include <quillet/web_parser.h>

#include "browser_bench.h"

#include <QApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

std::string pagePath() {
    static std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() /
                         ("quillet-structure-bench-" + std::to_string(::getpid()) + ".html"))
                            .string();
        std::ofstream out(p);
        out << "<html><head><title>Structure</title></head><body>\n";
        // 200 paragraphs of 25 links, each paragraph with its own text.
        for (int para = 0; para < 200; ++para) {
            out << "<p>Section " << para << " of the news: the quick brown fox jumps over the "
                << "lazy dog again and again.";
            for (int l = 0; l < 25; ++l)
                out << " <a href=\"/story/" << para << '/' << l << "\">Story " << para << '-' << l
                    << "</a>";
            out << "</p>\n";
        }
        // 200 tables of 10 rows of 5 cells.
        for (int t = 0; t < 200; ++t) {
            out << "<table>";
            for (int r = 0; r < 10; ++r) {
                out << "<tr>";
                for (int c = 0; c < 5; ++c)
                    out << "<td>Cell " << t << '.' << r << '.' << c << " value</td>";
                out << "</tr>";
            }
            out << "</table>\n";
        }
        out << "<form name=\"search\" action=\"/find\">";
        for (int f = 0; f < 20; ++f)
            out << "<input type=\"text\" name=\"field" << f << "\" value=\"v" << f << "\">";
        out << "<select name=\"pick\"><option>One</option><option selected>Two</option></select>"
               "<input type=\"radio\" name=\"r\"><input type=\"radio\" name=\"r\" checked>"
               "<input type=\"submit\"></form>\n";
        // Plain text up to about 1 MB.
        size_t written = static_cast<size_t>(out.tellp());
        for (int i = 0; written < 1000000; ++i) {
            std::string para = "<p>Filler " + std::to_string(i) +
                               ": a long line of ordinary text to bring the page to its size, "
                               "as news pages have them.</p>\n";
            out << para;
            written += para.size();
        }
        out << "</body></html>\n";
        return p;
    }();
    return path;
}

quillet::WebParser& parser() {
    return bench::parserOn(pagePath());
}

void BM_GrabLinks(benchmark::State& state) {
    std::vector<quillet::Links> links;
    quillet::WebParser& w = parser(); // the page loads outside the timing
    for (auto _ : state)
        w.GrabLinks(links);
    state.counters["links"] = static_cast<double>(links.size());
}
BENCHMARK(BM_GrabLinks)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_GetCellDump(benchmark::State& state) {
    quillet::WebParser& w = parser(); // the page loads outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(w.GetCellDump());
}
BENCHMARK(BM_GetCellDump)->Unit(benchmark::kMillisecond)->Iterations(20);

// A clip that is nowhere: every link and its parent's text is looked at.
void BM_GetLinkInTextAbsent(benchmark::State& state) {
    quillet::WebParser& w = parser(); // the page loads outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(w.GetLinkInText("no such words anywhere"));
}
BENCHMARK(BM_GetLinkInTextAbsent)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_GetFormDump(benchmark::State& state) {
    quillet::WebParser& w = parser(); // the page loads outside the timing
    for (auto _ : state)
        benchmark::DoNotOptimize(w.GetFormDump());
}
BENCHMARK(BM_GetFormDump)->Unit(benchmark::kMillisecond)->Iterations(20);

// ---- the whole job, three ways ---------------------------------------------------------
void BM_Job_Quillet(benchmark::State& state) {
    quillet::WebParser w;
    for (auto _ : state) {
        if (!w.OpenSite(pagePath(), 60)) state.SkipWithError("the page did not load");
        benchmark::DoNotOptimize(w.PageText());
        benchmark::DoNotOptimize(w.GetCellDump());
    }
}
BENCHMARK(BM_Job_Quillet)->Unit(benchmark::kMillisecond)->Iterations(10);

// The floor: the engine loading the file and reading the text and every
// cell in one script, with nothing around it.
void BM_Job_BareEngine(benchmark::State& state) {
    QWebEngineProfile profile;
    profile.setHttpCacheType(QWebEngineProfile::NoCache);
    QWebEngineView view;
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(pagePath()));
    const QString script =
        QStringLiteral("(function(){var T=document.getElementsByTagName('table'),o=[];"
                       "for(var t=0;t<T.length;t++){var R=T[t].rows;for(var r=0;r<R.length;r++){"
                       "var C=R[r].cells;for(var c=0;c<C.length;c++)o.push(C[c].innerText);}}"
                       "return [document.body.innerText,o];})()");
    for (auto _ : state) {
        // A fresh page per load in a (hidden) view, as the parser has it.
        QWebEnginePage page(&profile);
        view.setPage(&page);
        QEventLoop loop;
        bool loaded = false;
        auto c = QObject::connect(&page, &QWebEnginePage::loadFinished, &loop, [&](bool ok) {
            loaded = ok;
            loop.quit();
        });
        page.load(url);
        loop.exec();
        QObject::disconnect(c);
        if (!loaded) state.SkipWithError("the page did not load");
        QVariant result;
        page.runJavaScript(script, [&](const QVariant& v) {
            result = v;
            loop.quit();
        });
        loop.exec();
        benchmark::DoNotOptimize(result);
        view.setPage(nullptr);
    }
}
BENCHMARK(BM_Job_BareEngine)->Unit(benchmark::kMillisecond)->Iterations(10);

// The reference: BeautifulSoup with the lxml parser on the same file, timed
// inside Python (the interpreter's start is not part of the job).
void BM_Job_BeautifulSoup(benchmark::State& state) {
    // The system's Python first: that is where python3-bs4 and python3-lxml go.
    const std::string job = std::string(SOUP_JOB_SCRIPT) + " '" + pagePath() + "' 1 2>/dev/null";
    const std::string command = "/usr/bin/python3 " + job + " || python3 " + job;
    for (auto _ : state) {
        FILE* p = ::popen(command.c_str(), "r");
        double seconds = -1;
        if (p) {
            if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
            ::pclose(p);
        }
        if (seconds < 0) {
            state.SkipWithError("python3 with bs4 and lxml is needed (python3-bs4 python3-lxml)");
            break;
        }
        state.SetIterationTime(seconds);
    }
}
BENCHMARK(BM_Job_BeautifulSoup)->Unit(benchmark::kMillisecond)->Iterations(10)->UseManualTime();

} // namespace

int main(int argc, char** argv) {
    int status = bench::runBrowserBenchmarks(argc, argv);
    std::filesystem::remove(pagePath());
    return status;
}
