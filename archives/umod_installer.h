#pragma once

#include "formats/map_facts.h"

#include "engine/package_needs.h"
#include "engine/work_sink.h"
#include "formats/umod.h"
#include "install_recorder.h"

#include <optional>
#include <string>
#include <vector>

namespace tv {

// A UMOD installer as the ZIP tab and tessvane-cli zip preview it.
struct UmodPackage {
    std::string path;
    UmodDirectory directory;
    std::string product;     // Manifest.int's LocalProduct, else Manifest.ini's Product
    std::string version;     // Manifest.ini's [Setup] Version
    std::string description; // Manifest.int's or Manifest.ini's [Setup] Description
    // The manifest's instructions beyond copying files (INI edits, programs
    // to run, ...): listed, never carried out.
    std::vector<std::string> notCarriedOut;
    // What the manifest's requirement sections ask for ("UT2004, Version
    // 3369"): said, neither instructions nor checked.
    std::vector<std::string> requirements;
    // The maps it holds (not compressed ones), with their tables.
    std::vector<ArchiveMap> maps;
};

// The first of the installer's maps that has a picture (else the last map
// read), read in place: what its preview shows of the map.
MapRead readUmodMap(const UmodPackage& package, const MapReadOptions& options);

// The installer's own manifest (Manifest.ini, Manifest.int): read, never installed.
bool isManifest(const std::string& umodPath);

// Reads the directory and the manifest; nullopt with `error` set when the
// file is no installer or is damaged.
std::optional<UmodPackage> loadUmod(const std::string& path, std::string* error);

// Where an installer's file goes below the player's folder: each name of
// its path looked up without regard to case ("Maps\DM-Foo.ut2" -> <user>/Maps
// /DM-Foo.ut2; a .uz2 file as the package it holds). Empty for a path that
// would leave the folder (".." , a whole path, a drive letter) or holds a
// control character, and for the manifest itself, which is the installer's,
// not the game's. A type folder not there yet gets the game's spelling
// ("textures\\x.utx" -> <user>/Textures/x.utx).
std::string umodTarget(const std::string& userFolder, const std::string& umodPath);

struct UmodInstallResult {
    size_t installed = 0;       // copied, or there already with the same bytes
    size_t kept = 0;            // another file of that name stays
    bool stopped = false;       // Stop was asked: the files after it were not installed
    size_t done = 0, total = 0; // files looked at, of all the installer holds
    std::vector<std::string> failures;
    bool failed() const { return !failures.empty(); }
};

// Installs every file of the package below `userFolder` with the archive
// rules: nothing replaced (the same bytes count as installed), nothing
// outside the folder, folders made as needed, a damaged file reported and
// never left half-written. Each file it writes is recorded ahead with
// `recorder`; each file is a Status line and a log line.
UmodInstallResult installUmod(const UmodPackage& package, const std::string& userFolder,
                              const std::string& programFolder, const WorkSink& sink,
                              InstallRecorder& recorder);

} // namespace tv
