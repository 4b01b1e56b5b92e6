// CopyPolicyFile as the Java step runs it: a JVM started in a media directory with a temporary
// home given through -Duser.home. Usage: CopyPolicyFileTest <class directory> <java launcher>
// Exits 0 when every case holds; prints each case that does not, and each skipped case with why.

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

public final class CopyPolicyFileTest {
    private static String classDirectory;
    private static String javaLauncher;
    private static final List<String> failures = new ArrayList<String>();
    private static int skipped;
    private static final String UNREADABLE_SKIPPED =
            "mode 000 does not stop this process reading (root, or CAP_DAC_READ_SEARCH)";

    private File media;
    private File home;

    public static void main(String[] args) throws Exception {
        classDirectory = args[0];
        javaLauncher = args[1];
        runCase(CopyPolicyFileTest::copiesIntoAFreshHomeWithoutABackup);
        runCase(CopyPolicyFileTest::keepsTheFirstBackupAcrossRuns);
        runCase(CopyPolicyFileTest::leavesABackupThatWasThereAlone);
        runCase(CopyPolicyFileTest::copiesTheOpenCardConfigurationToo);
        runCase(CopyPolicyFileTest::fromReadOnlyMediaTheCopyStaysWritable);
        runCase(CopyPolicyFileTest::aReadOnlyUsersFileIsLeftAsItIs);
        runCase(CopyPolicyFileTest::aMissingMediaFileIsOneLineAndNothingWritten);
        runCase(CopyPolicyFileTest::refusesArgumentsThatAreNotAPlainDotName);
        runCase(CopyPolicyFileTest::aMissingHomeIsAnError);
        runCase(CopyPolicyFileTest::aDirectoryInTheFilesPlaceStays);
        runCase(CopyPolicyFileTest::anUnreadableMediaFileLeavesTheUsersFileAlone);
        runCase(CopyPolicyFileTest::aUsersFileThatCannotBeBackedUpLeavesNoTemporaryFile);
        runCase(CopyPolicyFileTest::aUsersFileThatCannotBeMadeWritableStays);
        runCase(CopyPolicyFileTest::aChangedFileIsKeptAsideAndTheBackupStays);
        runCase(CopyPolicyFileTest::theInstallersBytesAlreadyInPlaceAreNotWrittenAgain);
        runCase(CopyPolicyFileTest::onlyItsOwnLeftoversGo);
        runCase(CopyPolicyFileTest::killedAtAnyPointTheUsersFileStaysWhole);
        for (String failure : failures) {
            System.err.println("FAILED: " + failure);
        }
        System.out.println(!failures.isEmpty() ? ""
                : skipped == 0 ? "CopyPolicyFile: all cases hold"
                : "CopyPolicyFile: all cases that ran hold, " + skipped + " skipped");
        System.exit(failures.isEmpty() ? 0 : 1);
    }

    private interface Case {
        void run(CopyPolicyFileTest test) throws Exception;
    }

    // Each case in a media folder and a home of its own, both removed afterwards, pass or fail.
    private static void runCase(Case testCase) throws Exception {
        CopyPolicyFileTest test = new CopyPolicyFileTest();
        try {
            testCase.run(test);
        } finally {
            removeTree(test.media);
            removeTree(test.home);
        }
    }

    // Removes a folder and all below it, made readable and writable first (cases take rights away).
    private static void removeTree(File file) {
        file.setReadable(true, true);
        file.setWritable(true, true);
        file.setExecutable(true, true);
        boolean link = Files.isSymbolicLink(file.toPath());
        File[] entries = file.isDirectory() && !link ? file.listFiles() : null;
        if (entries != null) {
            for (File entry : entries) {
                removeTree(entry);
            }
        }
        if (file.exists() || link) {
            check("the case's folders can be removed: " + file, file.delete());
        }
    }

    private CopyPolicyFileTest() throws IOException {
        media = Files.createTempDirectory("cs-media").toFile();
        home = Files.createTempDirectory("cs-home").toFile();
        write(new File(media, "java.policy"), "installer policy");
        write(new File(media, "opencard.properties"), "installer properties");
    }

    private void copiesIntoAFreshHomeWithoutABackup() throws Exception {
        Result result = run(".java.policy");
        check("fresh home: exit 0", result.status == 0);
        check("fresh home: nothing on stderr", result.errorLines.isEmpty());
        check("fresh home: policy in place", "installer policy".equals(read(new File(home, ".java.policy"))));
        check("fresh home: no backup", !new File(home, ".java.policy.ocf-bak").exists());
    }

    private void keepsTheFirstBackupAcrossRuns() throws Exception {
        write(new File(home, ".java.policy"), "user's own policy");
        Result first = run(".java.policy");
        write(new File(media, "java.policy"), "newer installer policy");
        Result second = run(".java.policy");
        check("backup: both runs exit 0", first.status == 0 && second.status == 0);
        check("backup: holds the user's policy",
                "user's own policy".equals(read(new File(home, ".java.policy.ocf-bak"))));
        check("backup: newest policy in place",
                "newer installer policy".equals(read(new File(home, ".java.policy"))));
    }

    private void leavesABackupThatWasThereAlone() throws Exception {
        write(new File(home, ".java.policy"), "installer policy of an earlier run");
        write(new File(home, ".java.policy.ocf-bak"), "user's policy from before");
        Result result = run(".java.policy");
        check("existing backup: exit 0", result.status == 0);
        check("existing backup: unchanged",
                "user's policy from before".equals(read(new File(home, ".java.policy.ocf-bak"))));
    }

    private void copiesTheOpenCardConfigurationToo() throws Exception {
        Result result = run(".opencard.properties");
        check("properties: exit 0", result.status == 0);
        check("properties: in place",
                "installer properties".equals(read(new File(home, ".opencard.properties"))));
    }

    private void fromReadOnlyMediaTheCopyStaysWritable() throws Exception {
        File source = new File(media, "java.policy");
        File copy = new File(home, ".java.policy");
        check("read-only media: source made read-only", source.setWritable(false, false));
        Result first = run(".java.policy");
        boolean writableAfterFirst = ownerMayWrite(copy);
        source.setWritable(true, false);
        write(source, "newer installer policy");
        source.setWritable(false, false);
        Result second = run(".java.policy");
        check("read-only media: both runs exit 0", first.status == 0 && second.status == 0);
        check("read-only media: the copy is writable", writableAfterFirst && ownerMayWrite(copy));
        check("read-only media: the copy is replaced", "newer installer policy".equals(read(copy)));
        source.setWritable(true, false);
    }

    // The user made the file read-only: it stays as it is, its content, its mark and its time,
    // and nothing is written beside it. Exit status 7 makes the installer's step fail.
    private void aReadOnlyUsersFileIsLeftAsItIs() throws Exception {
        for (String name : new String[] {".java.policy", ".opencard.properties"}) {
            File file = new File(home, name);
            write(file, "user's own settings");
            long time = 1262304000000L;  // 2010-01-01, which no write today would give
            check(name + " read-only: time set", file.setLastModified(time));
            check(name + " read-only: made read-only", file.setWritable(false, false));
            Result result = run(name);
            check(name + " read-only: exit status 7", result.status == 7);
            check(name + " read-only: one line on stderr", oneClearLine(result));
            check(name + " read-only: content kept", "user's own settings".equals(read(file)));
            check(name + " read-only: still read-only", !ownerMayWrite(file));
            check(name + " read-only: time kept", file.lastModified() == time);
            check(name + " read-only: nothing written beside it",
                    Arrays.asList(home.list()).equals(Arrays.asList(name)));
            file.setWritable(true, false);
            file.delete();
        }
    }

    // From the mode bits, which root's own checks would pass over.
    private static boolean ownerMayWrite(File file) throws IOException {
        return Files.getPosixFilePermissions(file.toPath())
                .contains(java.nio.file.attribute.PosixFilePermission.OWNER_WRITE);
    }

    private void aMissingMediaFileIsOneLineAndNothingWritten() throws Exception {
        new File(media, "java.policy").delete();
        Result result = run(".java.policy");
        check("missing source: non-zero exit", result.status != 0);
        check("missing source: one line on stderr", oneClearLine(result));
        check("missing source: home untouched", home.list().length == 0);
    }

    private void refusesArgumentsThatAreNotAPlainDotName() throws Exception {
        String[][] cases = {{}, {".java.policy", ".opencard.properties"}, {"java.policy"},
            {"."}, {".."}, {"../.java.policy"}, {"./java.policy"}, {".x\\y"}, {".C:x"}};
        for (String[] arguments : cases) {
            Result result = run(arguments);
            String name = "arguments " + Arrays.toString(arguments);
            check(name + ": non-zero exit", result.status != 0);
            check(name + ": one line on stderr", oneClearLine(result));
        }
        check("bad arguments: home untouched", home.list().length == 0);
        check("bad arguments: nothing beside the home",
                !new File(home.getParentFile(), ".java.policy").exists());
    }

    private void aMissingHomeIsAnError() throws Exception {
        home.delete();
        Result result = run(".java.policy");
        check("missing home: non-zero exit", result.status != 0);
        check("missing home: one line on stderr", oneClearLine(result));
        check("missing home: not created", !home.exists());
    }

    private void aDirectoryInTheFilesPlaceStays() throws Exception {
        File blocking = new File(home, ".java.policy");
        blocking.mkdir();
        Result result = run(".java.policy");
        check("directory in place: non-zero exit", result.status != 0);
        check("directory in place: one line on stderr", oneClearLine(result));
        check("directory in place: still a directory", blocking.isDirectory());
    }

    // The source opens but cannot be read, as a file on a failing disk: found out only after the
    // user's file was already deleted, when the copy went straight over it. A link to
    // /proc/self/mem is such a file for every user, root included: its first read fails.
    private void anUnreadableMediaFileLeavesTheUsersFileAlone() throws Exception {
        File source = new File(media, "java.policy");
        write(new File(home, ".java.policy"), "user's own policy");
        source.delete();
        Files.createSymbolicLink(source.toPath(), new File("/proc/self/mem").toPath());
        Result result = run(".java.policy");
        check("unreadable source: non-zero exit", result.status != 0);
        check("unreadable source: one line on stderr", oneClearLine(result));
        check("unreadable source: the user's policy kept",
                "user's own policy".equals(read(new File(home, ".java.policy"))));
        check("unreadable source: no temporary file or backup in the home",
                Arrays.asList(home.list()).equals(Arrays.asList(".java.policy")));
    }

    // The backup comes after the new file is written beside the user's: it has to go again.
    private void aUsersFileThatCannotBeBackedUpLeavesNoTemporaryFile() throws Exception {
        File policy = new File(home, ".java.policy");
        write(policy, "user's own policy");
        policy.setReadable(false, false);
        if (Files.isReadable(policy.toPath())) {
            skip("user's file unreadable", UNREADABLE_SKIPPED);
        } else {
            Result result = run(".java.policy");
            check("user's file unreadable: non-zero exit", result.status != 0);
            check("user's file unreadable: one line on stderr", oneClearLine(result));
            check("user's file unreadable: no temporary file in the home",
                    leftovers(".java.policy").isEmpty());
        }
        policy.setReadable(true, false);
        check("user's file unreadable: the user's policy kept",
                "user's own policy".equals(read(policy)));
    }

    // A user's file whose mode cannot be changed: a link to a file of another owner (on Windows,
    // a file whose attributes the user may not change). It is left as it is.
    private void aUsersFileThatCannotBeMadeWritableStays() throws Exception {
        Path policy = new File(home, ".java.policy").toPath();
        Path foreign = new File(javaLauncher).getCanonicalFile().toPath();
        if (Files.isWritable(foreign)
                || Files.getOwner(foreign).equals(Files.getOwner(home.toPath()))) {
            skip("user's file not made writable",
                    "this user may change the mode of " + foreign + " (its owner, or root)");
            return;
        }
        Files.createSymbolicLink(policy, foreign);
        Result result = run(".java.policy");
        check("user's file not made writable: non-zero exit", result.status != 0);
        check("user's file not made writable: one line on stderr", oneClearLine(result));
        check("user's file not made writable: left as it was",
                Files.isSymbolicLink(policy) && foreign.equals(Files.readSymbolicLink(policy)));
        check("user's file not made writable: no temporary file in the home",
                leftovers(".java.policy").isEmpty());
    }

    // An edit made after the first run is neither the installer's nor the backup: it is kept.
    private void aChangedFileIsKeptAsideAndTheBackupStays() throws Exception {
        File policy = new File(home, ".java.policy");
        write(policy, "user's own policy");
        Result first = run(".java.policy");
        write(policy, "installer policy, and the bank's grant");
        Result second = run(".java.policy");
        Result third = run(".java.policy");
        check("edit: every run exits 0", first.status == 0 && second.status == 0 && third.status == 0);
        check("edit: the backup keeps the user's own policy",
                "user's own policy".equals(read(new File(home, ".java.policy.ocf-bak"))));
        check("edit: kept aside once", "installer policy, and the bank's grant".equals(
                read(new File(home, ".java.policy.ocf-edit1"))) && leftovers(".java.policy").size() == 1);
        check("edit: the installer's policy in place", "installer policy".equals(read(policy)));
    }

    private void theInstallersBytesAlreadyInPlaceAreNotWrittenAgain() throws Exception {
        File policy = new File(home, ".java.policy");
        write(policy, "installer policy");
        check("in place: made read-only", policy.setWritable(false, false));
        Result result = run(".java.policy");
        check("in place: exit 0", result.status == 0);
        check("in place: not written again, so still read-only", !ownerMayWrite(policy));
        check("in place: no backup of the installer's own file",
                Arrays.asList(home.list()).equals(Arrays.asList(".java.policy")));
        policy.setWritable(true, false);
    }

    private void onlyItsOwnLeftoversGo() throws Exception {
        String[] ours = {"~ocf0123abcd.tmp", "~ocfffffffff.tmp"};
        String[] others = {"~ocf0123ABCD.tmp", "~ocf0123abc.tmp", "~ocf0123abcd.tmp.bak", "ocf.tmp"};
        for (String name : ours) {
            write(new File(home, name), "left by a run that was cut off");
        }
        for (String name : others) {
            write(new File(home, name), "someone else's");
        }
        Result result = run(".java.policy");
        check("leftovers: exit 0", result.status == 0);
        for (String name : ours) {
            check("leftovers: " + name + " removed", !new File(home, name).exists());
        }
        for (String name : others) {
            check("leftovers: " + name + " kept", new File(home, name).exists());
        }
    }

    // Killed (SIGKILL, as a deployment tool's time limit does) at each change it makes in the
    // home, over a file large enough that writing it takes a while: the user's own policy exists
    // whole at every point, in place or as its backup; nothing under the user's names is partial;
    // and the next run finishes as a clean one would.
    private void killedAtAnyPointTheUsersFileStaysWhole() throws Exception {
        byte[] own = new byte[16 << 20];
        new java.util.Random(7).nextBytes(own);
        File policy = new File(home, ".java.policy");
        File backup = new File(home, ".java.policy.ocf-bak");
        byte[] installer = Files.readAllBytes(new File(media, "java.policy").toPath());
        int changes = countChanges(own);
        int points = 0;
        for (int point = 1; point <= changes; point++) {
            clearHome();
            Files.write(policy.toPath(), own);
            killAtChange(point);
            points++;
            String where = "killed at change " + point + " of " + changes + ": ";
            byte[] inPlace = policy.isFile() ? Files.readAllBytes(policy.toPath()) : null;
            byte[] saved = backup.isFile() ? Files.readAllBytes(backup.toPath()) : null;
            check(where + "the policy is the user's or the installer's, whole",
                    Arrays.equals(inPlace, own) || Arrays.equals(inPlace, installer));
            check(where + "a backup is whole", saved == null || Arrays.equals(saved, own));
            check(where + "the user's policy exists whole",
                    Arrays.equals(inPlace, own) || Arrays.equals(saved, own));
            Result again = run(".java.policy");
            check(where + "the next run exits 0", again.status == 0);
            check(where + "the next run puts the policy in place", Arrays.equals(installer,
                    Files.readAllBytes(policy.toPath())));
            check(where + "the next run keeps the user's policy as the backup",
                    Arrays.equals(own, Files.readAllBytes(backup.toPath())));
            check(where + "nothing else is left in the home", leftovers(".java.policy").isEmpty());
        }
        check("kill points: at least four", points >= 4);
        System.out.println("CopyPolicyFile: killed at " + points + " points");
    }

    private void clearHome() {
        for (String name : home.list()) {
            new File(home, name).delete();
        }
    }

    // The changes a whole run makes in the home, as the file system reports them.
    private int countChanges(byte[] own) throws Exception {
        clearHome();
        Files.write(new File(home, ".java.policy").toPath(), own);
        java.nio.file.WatchService watcher = watchHome();
        Result result = run(".java.policy");
        int changes = 0;
        java.nio.file.WatchKey key;
        while ((key = watcher.poll(200, java.util.concurrent.TimeUnit.MILLISECONDS)) != null) {
            changes += key.pollEvents().size();
            key.reset();
        }
        watcher.close();
        check("kill points: a whole run exits 0", result.status == 0);
        return changes;
    }

    private java.nio.file.WatchService watchHome() throws IOException {
        java.nio.file.WatchService watcher = home.toPath().getFileSystem().newWatchService();
        home.toPath().register(watcher, java.nio.file.StandardWatchEventKinds.ENTRY_CREATE,
                java.nio.file.StandardWatchEventKinds.ENTRY_MODIFY,
                java.nio.file.StandardWatchEventKinds.ENTRY_DELETE);
        return watcher;
    }

    // Runs CopyPolicyFile and kills it as soon as the home has seen point changes.
    private void killAtChange(int point) throws Exception {
        java.nio.file.WatchService watcher = watchHome();
        Process process = start(".java.policy");
        int seen = 0;
        while (seen < point && process.isAlive()) {
            java.nio.file.WatchKey key = watcher.poll(10, java.util.concurrent.TimeUnit.MILLISECONDS);
            if (key != null) {
                seen += key.pollEvents().size();
                key.reset();
            }
        }
        process.destroyForcibly();
        process.waitFor();
        watcher.close();
    }

    // ---- helpers ----------------------------------------------------------------------------

    private static final class Result {
        int status;
        List<String> errorLines;
    }

    private Process start(String... arguments) throws IOException {
        List<String> command = new ArrayList<String>(Arrays.asList(javaLauncher,
                "-Duser.home=" + home.getPath(), "-cp", classDirectory, "CopyPolicyFile"));
        command.addAll(Arrays.asList(arguments));
        return new ProcessBuilder(command).directory(media).redirectErrorStream(false)
                .redirectOutput(ProcessBuilder.Redirect.INHERIT)
                .redirectError(ProcessBuilder.Redirect.INHERIT).start();
    }

    private Result run(String... arguments) throws Exception {
        List<String> command = new ArrayList<String>(Arrays.asList(javaLauncher,
                "-Duser.home=" + home.getPath(), "-cp", classDirectory, "CopyPolicyFile"));
        command.addAll(Arrays.asList(arguments));
        File errors = File.createTempFile("cs-stderr", ".txt");
        Process process = new ProcessBuilder(command).directory(media)
                .redirectError(errors).redirectOutput(ProcessBuilder.Redirect.INHERIT).start();
        Result result = new Result();
        result.status = process.waitFor();
        result.errorLines = Files.readAllLines(errors.toPath(), StandardCharsets.UTF_8);
        errors.delete();
        return result;
    }

    // Whatever is in the home besides the user's file and its backup.
    private List<String> leftovers(String name) {
        List<String> names = new ArrayList<String>(Arrays.asList(home.list()));
        names.remove(name);
        names.remove(name + ".ocf-bak");
        return names;
    }

    private static boolean oneClearLine(Result result) {
        return result.errorLines.size() == 1 && result.errorLines.get(0).startsWith("CopyPolicyFile: ")
                && result.errorLines.get(0).length() > "CopyPolicyFile: ".length();
    }

    private static void skip(String what, String reason) {
        System.out.println("skipped: " + what + ": " + reason);
        skipped++;
    }

    private static void check(String what, boolean holds) {
        if (!holds) {
            failures.add(what);
        }
    }

    private static void write(File file, String text) throws IOException {
        Files.write(file.toPath(), text.getBytes(StandardCharsets.UTF_8));
    }

    private static String read(File file) throws IOException {
        return file.isFile() ? new String(Files.readAllBytes(file.toPath()), StandardCharsets.UTF_8) : null;
    }
}
