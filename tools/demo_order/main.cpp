// Makes the demo order: a small sample library in a RAR 5 set of three
// volumes and a RAR 4 archive, and a PDF manual, in FOLDER.
//   kestrow-demo-order FOLDER

#include "tools/rarwriter/rar_writer.h"
#include "tools/usage.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {
void Put(std::string& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += char((value >> (8 * i)) & 0xFF);
}

// Four seconds of a plucked tone, 16-bit mono PCM at 44.1 kHz: at the demo's
// pace the order takes some 20 s to download, time enough for Pause and Resume.
std::string Wav(double hertz)
{
    const uint32_t rate = 44100, samples = rate * 4;
    std::string data;
    for (uint32_t i = 0; i < samples; ++i) {
        double t = double(i) / rate;
        double v = std::sin(2 * M_PI * hertz * t) * std::exp(-1.2 * t) * 0.6;
        Put(data, uint32_t(int16_t(v * 32767)) & 0xFFFF, 2);
    }
    std::string wav = "RIFF";
    Put(wav, uint32_t(36 + data.size()), 4);
    wav += "WAVEfmt ";
    Put(wav, 16, 4);
    Put(wav, 1, 2);  // PCM
    Put(wav, 1, 2);  // mono
    Put(wav, rate, 4);
    Put(wav, rate * 2, 4);
    Put(wav, 2, 2);
    Put(wav, 16, 2);
    wav += "data";
    Put(wav, uint32_t(data.size()), 4);
    return wav + data;
}

// A one-page PDF with a few lines of text.
std::string Pdf(const std::vector<std::string>& lines)
{
    std::string text = "BT /F1 14 Tf 72 760 Td 18 TL";
    for (const std::string& line : lines)
        text += " (" + line + ") Tj T*";
    text += " ET";
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(text.size()) + " >>\nstream\n" + text + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t at : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", at);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}
}  // namespace

int main(int argc, char** argv)
{
    const char* usage = "usage: kestrow-demo-order FOLDER\n"
                        "Writes the demo order (a sample library in RAR archives and a manual) into FOLDER.\n";
    if (HelpAsked(argc, argv))
        return Usage(usage, true);
    if (argc != 2 || argv[1][0] == '-' || !*argv[1])
        return Usage(usage, false);
    std::string folder = argv[1];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "kestrow-demo-order: cannot make %s: %s\n", folder.c_str(), error.message().c_str());
        return 1;
    }

    std::vector<RarItem> library = {
        {"Kestrow Strings/Samples/Violin A4.wav", Wav(440.0)},
        {"Kestrow Strings/Samples/Viola D4.wav", Wav(293.66)},
        {"Kestrow Strings/Samples/Cello C3.wav", Wav(130.81)},
        {"Kestrow Strings/Samples/Bass E2.wav", Wav(82.41)},
        {"Kestrow Strings/Kestrow Strings.nki", "KESTROW-INSTRUMENT 1\nzones: Violin A4, Viola D4, Cello C3, Bass E2\n"},
        {"Kestrow Strings/Readme.txt",
         "Kestrow Strings (demo)\n\nOpen \"Kestrow Strings.nki\" in your sampler. The samples are in Samples/.\n"},
    };
    uint64_t total = 0;
    for (const RarItem& item : library)
        total += item.data.size();
    std::vector<RarItem> extras = {
        {"Kestrow Strings/Extras/Pizzicato G3.wav", Wav(196.0)},
        {"Kestrow Strings/Extras/Harmonic A5.wav", Wav(880.0)},
    };

    std::vector<std::string> made = WriteRar(folder, "StringsLib", library, {5, total / 3 + 1});
    for (const std::string& path : WriteRar(folder, "StringsExtras", extras, {4}))
        made.push_back(path);
    std::string manual = folder + "/StringsManual.pdf";
    std::ofstream(manual, std::ios::binary) << Pdf({"Kestrow Strings - Manual", "",
                                                     "1. Open Kestrow Strings.nki in your sampler.",
                                                     "2. The samples are in the Samples folder.",
                                                     "3. The extras are in the Extras folder."});
    made.push_back(manual);
    for (const std::string& path : made)
        std::printf("%s\n", path.c_str());
    return 0;
}
