// SPDX-License-Identifier: MIT

// Parse and compact-write throughput of the codec beside its peers, on the
// same corpora in one run.
#include "KzJSON.h"
#include "ThroughputTable.h"

#include <QByteArray>
#include <QJsonDocument>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>
#include <simdjson.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const char *const corpora[] = {"twitter.json", "citm_catalog.json", "canada.json"};

std::string benchDataFolder()
{
    if (const char *folder = std::getenv("PELLIX_BENCH_DATA_DIR"))
        return folder;
    return PELLIX_BENCH_DATA_DIR;
}

std::string readCorpus(const std::string &name)
{
    std::ifstream in(benchDataFolder() + "/" + name, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << benchDataFolder() << "/" << name << "\n";
        std::exit(2);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template<typename Operation>
void registerThroughput(const std::string &name, const std::string &text, Operation operation)
{
    benchmark::RegisterBenchmark(name.c_str(), [text, operation](benchmark::State &state) {
        for (auto _ : state)
            operation(text, state);
        state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    })->Unit(benchmark::kMillisecond);
}

void registerKzJson(const std::string &corpus, const std::string &text)
{
    registerThroughput("parse/" + corpus + "/kzjson", text, [](const std::string &input, benchmark::State &state) {
        KzJSON json;
        auto value = json.objectWithString(std::string_view(input));
        if (!value)
            state.SkipWithError("kzjson refused the corpus");
        benchmark::DoNotOptimize(value);
    });
    auto value = std::make_shared<std::optional<KzJsonValue>>(KzJSON().objectWithString(std::string_view(text)));
    registerThroughput("write/" + corpus + "/kzjson", text, [value](const std::string &, benchmark::State &) {
        KzJSON json;
        benchmark::DoNotOptimize(json.stringWithObject(*value));
    });
}

void registerRapidJson(const std::string &corpus, const std::string &text)
{
    registerThroughput("parse/" + corpus + "/rapidjson", text, [](const std::string &input, benchmark::State &) {
        rapidjson::Document document;
        document.Parse(input.data(), input.size());
        benchmark::DoNotOptimize(document);
    });
    auto document = std::make_shared<rapidjson::Document>();
    document->Parse(text.data(), text.size());
    registerThroughput("write/" + corpus + "/rapidjson", text, [document](const std::string &, benchmark::State &) {
        rapidjson::StringBuffer buffer;
        rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
        document->Accept(writer);
        benchmark::DoNotOptimize(buffer.GetString());
    });
}

void registerSimdjson(const std::string &corpus, const std::string &text)
{
    auto padded = std::make_shared<simdjson::padded_string>(text);
    auto parser = std::make_shared<simdjson::dom::parser>();
    registerThroughput("parse/" + corpus + "/simdjson", text, [padded, parser](const std::string &, benchmark::State &state) {
        auto document = parser->parse(*padded);
        if (document.error())
            state.SkipWithError("simdjson refused the corpus");
        benchmark::DoNotOptimize(document);
    });
}

void registerNlohmann(const std::string &corpus, const std::string &text)
{
    registerThroughput("parse/" + corpus + "/nlohmann", text, [](const std::string &input, benchmark::State &) {
        benchmark::DoNotOptimize(nlohmann::json::parse(input));
    });
    auto document = std::make_shared<nlohmann::json>(nlohmann::json::parse(text));
    registerThroughput("write/" + corpus + "/nlohmann", text, [document](const std::string &, benchmark::State &) {
        benchmark::DoNotOptimize(document->dump());
    });
}

void registerQJsonDocument(const std::string &corpus, const std::string &text)
{
    const QByteArray bytes = QByteArray::fromStdString(text);
    registerThroughput("parse/" + corpus + "/QJsonDocument", text, [bytes](const std::string &, benchmark::State &) {
        benchmark::DoNotOptimize(QJsonDocument::fromJson(bytes));
    });
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    registerThroughput("write/" + corpus + "/QJsonDocument", text, [document](const std::string &, benchmark::State &) {
        benchmark::DoNotOptimize(document.toJson(QJsonDocument::Compact));
    });
}

}

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    for (const char *corpus : corpora) {
        const std::string text = readCorpus(corpus);
        registerKzJson(corpus, text);
        registerRapidJson(corpus, text);
        registerSimdjson(corpus, text);
        registerNlohmann(corpus, text);
        registerQJsonDocument(corpus, text);
    }
    ThroughputTable table("kzjson");
    benchmark::RunSpecifiedBenchmarks(&table);
    table.printTables(std::cout);
    benchmark::Shutdown();
}
