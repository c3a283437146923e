// quillon-cli: the engine from the command line, for batch work on servers
// and over SSH. Same default threshold, channel minimum and texts as the window.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
    using namespace quillon::cli;

    CLI::App app{"Finds the silent tracks of polyphonic WAV files and writes the files again without them.",
                 "quillon-cli"};
    app.set_version_flag("--version", app.get_name() + " " + QUILLON_VERSION);
    app.require_subcommand(1);
    app.footer(
        "Examples:\n"
        "  quillon-cli scan --recursive --tracks /media/card\n"
        "  quillon-cli strip --dry-run /media/card/DAY03\n"
        "  quillon-cli strip --overwrite A012T03.WAV A012T04.WAV\n"
        "  quillon-cli strip --uniform --threshold-db -70 /media/card/DAY03/SC12\n\n"
        "Tracks are numbered from 1, in the text output and in JSON.\n"
        "A .wav file that is passed over, or not written, gets a line on standard error saying why.\n"
        "Exit status: 0 all done, 1 some file failed, 2 usage error.\n");

    ScanOptions scan;
    CLI::App* scanCommand = app.add_subcommand("scan", "List the polyphonic WAV files of a folder and their tracks.");
    scanCommand->add_flag("-r,--recursive", scan.recursive, "Include subfolders.");
    scanCommand->add_option("--threshold-db", scan.thresholdDb, "A track whose peak stays below this level is empty.")
        ->capture_default_str()
        ->check(CLI::Range(-200.0, 20.0));
    scanCommand->add_flag("-t,--tracks", scan.tracks,
                          "Show every file's tracks under it; a peak read from the start of the take only (the scan "
                          "stops once every track is heard) is marked as a lower bound.");
    scanCommand->add_flag("--full", scan.full, "Read every frame, so that every peak is the take's (slower).");
    scanCommand->add_flag("--json", scan.json, "One JSON object per file on standard output, nothing else.");
    scanCommand->add_option("FOLDER", scan.folder, "The folder to scan.")->required()->check(CLI::ExistingDirectory);

    StripOptions strip;
    CLI::App* stripCommand = app.add_subcommand(
        "strip", "Write files again without their empty tracks (as *_SLIM copies unless --overwrite).");
    stripCommand->add_flag("-r,--recursive", strip.recursive, "Include subfolders of folder arguments.");
    stripCommand->add_option("--threshold-db", strip.thresholdDb, "A track whose peak stays below this level is empty.")
        ->capture_default_str()
        ->check(CLI::Range(-200.0, 20.0));
    stripCommand->add_flag("--uniform", strip.uniform,
                           "Keep the takes of a scene alike: among files with the same track names in the same order, "
                           "remove a track only where it is empty in every one of them.");
    stripCommand->add_flag("--overwrite", strip.overwrite,
                           "Replace the originals in place (crash-safe) instead of writing *_SLIM copies.");
    stripCommand->add_flag("--force", strip.force, "Replace *_SLIM copies that are already there.");
    stripCommand->add_flag("-n,--dry-run", strip.dryRun, "Print what would be written and write nothing.");
    stripCommand->add_flag("--json", strip.json, "One JSON object per file on standard output, nothing else.");
    stripCommand->add_option("PATH", strip.paths, "Folders to scan or WAV files to slim.")
        ->required()
        ->check(CLI::ExistingPath);

    // A mistyped command would otherwise only be reported as a missing one.
    if (argc > 1 && argv[1][0] != '-' && !scanCommand->check_name(argv[1]) && !stripCommand->check_name(argv[1])) {
        std::cerr << "quillon-cli: unknown command: " << argv[1] << "\nRun 'quillon-cli --help' for usage.\n";
        return kUsageError;
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        // The top level shows every command with its options.
        if (app.get_subcommands().empty()) {
            std::cout << app.help("", CLI::AppFormatMode::All);
            return kAllDone;
        }
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "quillon-cli: " << e.what() << "\nRun 'quillon-cli --help' for usage.\n";
        return kUsageError;
    }

    const Progress progress(isatty(STDERR_FILENO) == 1);
    if (*scanCommand) return runScan(scan, progress, std::cout, std::cerr);
    return runStrip(strip, progress, std::cout, std::cerr);
}
