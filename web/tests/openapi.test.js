// The API document: valid OpenAPI 3.1 by an independent validator, and
// describing exactly the operations and parameters the server accepts.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { Validator } from '@seriousme/openapi-schema-validator';
import { apiCall, startDemo } from './harness.js';

let demo;
let doc;
let interfaces;
before(async () => {
  demo = await startDemo();
  doc = await (await fetch(`${demo.base}/v1/openapi.json`)).json();
  interfaces = (await (await fetch(`${demo.base}/v1/interfaces`)).json()).interfaces;
});
after(async () => demo?.stop());

test('is a valid OpenAPI 3.1 document', async () => {
  const validator = new Validator();
  const result = await validator.validate(doc);
  assert.equal(doc.openapi, '3.1.0');
  assert.equal(validator.version, '3.1');
  assert.deepEqual(result.errors ?? [], []);
  assert.equal(result.valid, true);
});

test('has one path per operation, with its parameters and in/out values', () => {
  let operations = 0;
  for (const itf of interfaces) {
    for (const op of itf.operations) {
      operations++;
      const path = doc.paths[`/v1/call/${itf.progid}/${op.operation}`];
      assert.ok(path, `${itf.progid}.${op.operation} is described`);
      const args = doc.components.schemas[`${itf.class}.${op.operation}.Args`];
      // Properties are a set; "required" keeps the operation's parameter order.
      assert.deepEqual(Object.keys(args.properties).sort(), op.parameters.map((p) => p.name).sort());
      assert.deepEqual(args.required, op.parameters.map((p) => p.name));
      const answer = doc.components.schemas[`${itf.class}.${op.operation}.Answer`];
      assert.deepEqual(answer.properties.byref.required,
        op.parameters.filter((p) => p.direction === 'inout').map((p) => p.name));
      assert.deepEqual(Object.keys(answer.properties.byref.properties).sort(),
        [...answer.properties.byref.required].sort());
      const writer = itf.progid === 'Plexavo.MF_OutBillE';
      assert.deepEqual(Object.keys(path.post.responses).sort(),
        ['200', '400', '401', '409', '413', ...(writer ? ['422'] : []), '500', '503']);
      assert.deepEqual(path.post.parameters.map((p) => p.name),
        writer ? ['Plexavo-DB', 'Idempotency-Key'] : ['Plexavo-DB']);
    }
  }
  const described = Object.keys(doc.paths).filter((p) => p.startsWith('/v1/call/'));
  assert.equal(described.length, operations);
  assert.deepEqual(doc.components.securitySchemes.bearer, { type: 'http', scheme: 'bearer' });
});

test('a described path answers as the document says', async () => {
  const r = await fetch(`${demo.base}/v1/call/Plexavo.MF_OutBill/CheckRight`, {
    method: 'POST',
    headers: { Authorization: `Bearer ${demo.tokens.clerk}` },
    body: JSON.stringify({ args: { vblnRead: false, vblnEdit: false, vblnExec: false, vblnUnExec: false, vstrDB: 'demo', vstrErr: '' } }),
  });
  assert.equal(r.status, 200);
  const body = await r.json();
  assert.deepEqual(body, { result: true, byref: { vblnRead: true, vblnEdit: true, vblnExec: false, vblnUnExec: false, vstrErr: '' } });
  const generic = await apiCall(demo, demo.tokens.clerk, 'Plexavo.MF_OutBill', 'CheckRight',
    { vblnRead: false, vblnEdit: false, vblnExec: false, vblnUnExec: false, vstrErr: '' });
  assert.deepEqual(generic.body, body);
  const unknown = await fetch(`${demo.base}/v1/call/Plexavo.MF_OutBill/NoSuchThing`, {
    method: 'POST', headers: { Authorization: `Bearer ${demo.tokens.clerk}` }, body: '{"args":{}}',
  });
  assert.equal(unknown.status, 400);
  assert.equal((await unknown.json()).error, "Plexavo.MF_OutBill has no operation 'NoSuchThing'");
});

test('the rendered document page loads the renderer under a strict policy', async () => {
  const page = await fetch(`${demo.base}/docs`);
  assert.equal(page.status, 200);
  assert.match(page.headers.get('content-security-policy'), /script-src 'self';/);
  assert.match(await page.text(), /swagger-ui-bundle\.js/);
  const bundle = await fetch(`${demo.base}/docs/swagger-ui-bundle.js`);
  assert.equal(bundle.status, 200);
  assert.ok((await bundle.arrayBuffer()).byteLength > 100000);
});
