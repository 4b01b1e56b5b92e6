// CopyPolicyFile as the Java step runs it: a JVM started in a media directory with a temporary
// home given through -Duser.home. Usage: CopyPolicyFileTest <class directory> <java launcher>
// Exits 0 when every case holds; prints each case that does not.

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

public final class CopyPolicyFileTest {
    private static String classDirectory;
    private static String javaLauncher;
    private static final List<String> failures = new ArrayList<String>();

    private File media;
    private File home;

    public static void main(String[] args) throws Exception {
        classDirectory = args[0];
        javaLauncher = args[1];
        new CopyPolicyFileTest().copiesIntoAFreshHomeWithoutABackup();
        new CopyPolicyFileTest().keepsTheFirstBackupAcrossRuns();
        new CopyPolicyFileTest().leavesABackupThatWasThereAlone();
        new CopyPolicyFileTest().copiesTheOpenCardConfigurationToo();
        new CopyPolicyFileTest().fromReadOnlyMediaTheCopyStaysWritable();
        new CopyPolicyFileTest().aMissingMediaFileIsOneLineAndNothingWritten();
        new CopyPolicyFileTest().refusesArgumentsThatAreNotAPlainDotName();
        new CopyPolicyFileTest().aMissingHomeIsAnError();
        new CopyPolicyFileTest().aDirectoryInTheFilesPlaceStays();
        for (String failure : failures) {
            System.err.println("FAILED: " + failure);
        }
        System.out.println(failures.isEmpty() ? "CopyPolicyFile: all cases hold" : "");
        System.exit(failures.isEmpty() ? 0 : 1);
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
        check("read-only media: copy made read-only", copy.setWritable(false, false));
        source.setWritable(true, false);
        write(source, "newer installer policy");
        source.setWritable(false, false);
        Result second = run(".java.policy");
        check("read-only media: both runs exit 0", first.status == 0 && second.status == 0);
        check("read-only media: the copy is writable", writableAfterFirst && ownerMayWrite(copy));
        check("read-only media: a read-only copy is replaced",
                "newer installer policy".equals(read(copy)));
        source.setWritable(true, false);
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

    // ---- helpers ----------------------------------------------------------------------------

    private static final class Result {
        int status;
        List<String> errorLines;
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

    private static boolean oneClearLine(Result result) {
        return result.errorLines.size() == 1 && result.errorLines.get(0).startsWith("CopyPolicyFile: ")
                && result.errorLines.get(0).length() > "CopyPolicyFile: ".length();
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
