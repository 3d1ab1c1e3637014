// Renders the server's own API document once the page has loaded.
window.addEventListener('DOMContentLoaded', () => {
  window.SwaggerUIBundle({ url: '/v1/openapi.json', dom_id: '#api', deepLinking: true });
});
