// Pictures of the toolbar buttons (18 x 18 SVG), by the command the button gives.

const svg = (body) =>
  `<svg viewBox="0 0 18 18" width="18" height="18" aria-hidden="true">${body}</svg>`;

const page = (accent, label) =>
  svg(
    `<path d="M4 1.5h7l3.5 3.5v11.5H4z" fill="#fff" stroke="#5b6b7d"/>` +
      `<path d="M11 1.5V5h3.5" fill="#dfe5ec" stroke="#5b6b7d"/>` +
      `<rect x="2" y="9" width="10" height="6.5" rx="1.5" fill="${accent}"/>` +
      `<text x="7" y="14" font-size="5.4" font-family="DejaVu Sans, sans-serif" font-weight="bold" fill="#fff" text-anchor="middle">${label}</text>`,
  );

export const toolbarIcons = {
  NewScript: page('#2f6db5', 'qOr'),
  NewHtml: page('#d0662a', 'htm'),
  Open: svg(
    `<path d="M1.5 4h5l1.5 1.5h7.5v9.5h-14z" fill="#e3b341" stroke="#a07a1c"/>` +
      `<path d="M3.5 8h13l-2.5 7h-12.5z" fill="#f5cf62" stroke="#a07a1c"/>`,
  ),
  Save: svg(
    `<rect x="2" y="2" width="14" height="14" rx="1.5" fill="#3f6fae" stroke="#22324a"/>` +
      `<rect x="5" y="2.5" width="8" height="5" fill="#e9eef5"/>` +
      `<rect x="10" y="3.3" width="2" height="3.2" fill="#3f6fae"/>` +
      `<rect x="4.5" y="10" width="9" height="5.5" rx="0.5" fill="#fff"/>`,
  ),
  Run: svg(`<circle cx="9" cy="9" r="7.5" fill="#2e9d4f" stroke="#1b6b33"/><path d="M7 5.2l6 3.8-6 3.8z" fill="#fff"/>`),
  EditorOptions: svg(
    `<circle cx="9" cy="9" r="7.3" fill="#fff" stroke="#5b6b7d"/>` +
      `<circle cx="6" cy="6.5" r="1.7" fill="#d33"/><circle cx="10.5" cy="5.2" r="1.7" fill="#e8b800"/>` +
      `<circle cx="13" cy="9" r="1.7" fill="#2e9d4f"/><circle cx="11" cy="12.8" r="1.7" fill="#2f6db5"/>` +
      `<circle cx="6.3" cy="11.6" r="1.9" fill="#cfd5dc" stroke="#5b6b7d" stroke-width="0.6"/>`,
  ),
  Hide: svg(
    `<rect x="1.5" y="3" width="15" height="12" rx="1.5" fill="#fff" stroke="#5b6b7d"/>` +
      `<rect x="1.5" y="3" width="15" height="3" rx="1.5" fill="#34507a"/>` +
      `<rect x="5" y="11" width="8" height="1.8" fill="#5b6b7d"/>`,
  ),
};
